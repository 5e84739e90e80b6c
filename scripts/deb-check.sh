#!/usr/bin/env bash
# Builds the Debian package of a build, installs it as a user's machine would (root), runs the
# installed programs from /usr/bin, removes the package and checks that nothing of it is left but
# the user's own settings.
#   scripts/deb-check.sh [BUILD_DIR]     (default: build; needs root and no tallon package installed)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
work=$(mktemp -d)
fail() {
  echo "deb-check: FAILED: $*" >&2
  exit 1
}
[ "$(id -u)" -eq 0 ] || fail "needs root"
if dpkg-query -W -f='${Status}' tallon 2>/dev/null | grep -q "ok installed"; then
  fail "a tallon package is installed already; remove it first"
fi
installed=0
cleanup() {
  if ((installed)); then dpkg --purge tallon >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

(cd "$build" && cpack -G DEB -B "$work/package" >/dev/null) || fail "cpack -G DEB"
deb=$(ls "$work"/package/tallon_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libqt6qml6 libqt6svg6 libsqlite3-0 zlib1g libc6; do
  grep -q "$needed" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
grep -q "libZyn" <<<"$depends" && fail "Depends names our own libraries: $depends"

installed=1
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$deb" >"$work/apt.log" 2>&1 \
  || fail "apt-get install: $(tail -5 "$work/apt.log")"
files=$(dpkg -L tallon)

# As a user: settings in the home folder, no window system.
export HOME=$work/home QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 TZ=UTC
unset ZYN_REGISTRY_DIR XDG_CONFIG_HOME LD_LIBRARY_PATH
mkdir -p "$HOME"
[ "$(command -v Tallon)" = /usr/bin/Tallon ] || fail "Tallon is not /usr/bin/Tallon"
out=$(/usr/bin/zynscript /usr/share/tallon/examples/first-chart.js 500) || fail "zynscript: $out"
grep -Eq '^[0-9]+ samples, last ' <<<"$out" || fail "zynscript printed: $out"
printf 'Time,load\r\n12/08/2026 10:00:00,1\r\n12/08/2026 10:00:01,3\r\n' >"$work/load.csv"
/usr/bin/Tallon --export-image "$work/load.csv" "$work/load.png" 2>"$work/err" || fail "Tallon: $(cat "$work/err")"
[ -s "$work/load.png" ] || fail "Tallon wrote no image"
[ -d "$HOME/.config/zynthar" ] || fail "no settings in $HOME/.config/zynthar"
service=/usr/share/dbus-1/services/com.zynthar.Tallon.service
grep -qx "Exec=/usr/bin/Tallon /Automation" "$service" || fail "the D-Bus activation file says: $(cat "$service" 2>&1)"

dpkg --purge tallon >/dev/null || fail "dpkg --purge tallon"
installed=0
left=""
while IFS= read -r path; do
  if [ -e "$path" ] && [ ! -d "$path" ]; then left+="$path "; fi
done <<<"$files"
for dir in /usr/lib/tallon /usr/share/tallon; do [ -e "$dir" ] && left+="$dir "; done
[ -z "$left" ] || fail "left after removal: $left"
[ -d "$HOME/.config/zynthar" ] || fail "the removal took the user's settings"
echo "deb-check: $(basename "$deb") installs, runs from /usr/bin and removes cleanly"
