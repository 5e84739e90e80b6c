#!/usr/bin/env bash
# Installs a build into a temporary prefix and uses the installed programs as a user would, with the
# build tree moved out of the way so that nothing they need can come from it: the programs must find
# their libraries by their relative RPATH, register the installed object library in the settings
# store, and run their headless modes and a script.
#   scripts/install-check.sh [BUILD_DIR]     (default: build; it must not be in use meanwhile)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
work=$(mktemp -d)
prefix=$work/prefix
moved="$build.moved-away"

restore() {
  if [ -d "$moved" ]; then mv "$moved" "$build"; fi
  rm -rf "$work"
}
trap restore EXIT
fail() {
  echo "install-check: FAILED: $*" >&2
  exit 1
}

cmake --install "$build" --prefix "$prefix" >/dev/null
mv "$build" "$moved"

export ZYN_REGISTRY_DIR=$work/settings QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 TZ=UTC
unset LD_LIBRARY_PATH
tallon=$prefix/bin/Tallon
zynscript=$prefix/bin/zynscript
[ -x "$tallon" ] && [ -x "$zynscript" ] || fail "the programs are not in $prefix/bin"
ls "$prefix"/lib/tallon/libZynTallonObj.so >/dev/null || fail "the object library is not in lib/tallon"

# No installed file may name a folder of the build machine in its RPATH.
for elf in "$prefix"/bin/* "$prefix"/lib/tallon/*.so; do
  runpath=$(readelf -d "$elf" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p;s/.*(RPATH).*\[\(.*\)\]/\1/p')
  case "$runpath" in
    '$ORIGIN'*) ;;
    *) fail "$elf has the RPATH '$runpath'" ;;
  esac
done

# Every library of ours that a program loads comes from the installation.
loaded_from_prefix() {
  local log=$work/ld.log
  LD_DEBUG=libs LD_DEBUG_OUTPUT=$log "$@" >/dev/null 2>&1 || true
  local ours
  ours=$(grep -ho 'calling init: [^ ]*libZyn[^ ]*' "$log".* | sed 's/calling init: //' | sort -u)
  rm -f "$log".*
  [ -n "$ours" ] || fail "$1 loaded none of its libraries"
  if grep -v "^$prefix/" <<<"$ours"; then fail "$1 loaded libraries from outside $prefix"; fi
}

"$tallon" --version | grep -q '^Zynthar Tallon. Version ' || fail "Tallon --version"
"$zynscript" --version | grep -q '^zynscript [0-9]' || fail "zynscript --version"

# A script that samples the processor through the installed object library.
out=$("$zynscript" "$prefix/share/tallon/examples/first-chart.js" 1000) || fail "the example script: $out"
grep -Eq '^[0-9]+ samples, last [0-9.e+-]+$' <<<"$out" || fail "the example script printed: $out"
loaded_from_prefix "$zynscript" "$prefix/share/tallon/examples/first-chart.js" 300

# The settings store now names the installed copy of the object library.
python3 - "$ZYN_REGISTRY_DIR" "$prefix/lib/tallon/libZynTallonObj.so" <<'PY' || fail "the settings store does not name the installed object library"
import pathlib, sqlite3, sys
folder, wanted = sys.argv[1], sys.argv[2]
found = False
for db in pathlib.Path(folder).rglob("*"):
    if not db.is_file():
        continue
    try:
        con = sqlite3.connect(f"file:{db}?mode=ro", uri=True)
        for (table,) in con.execute("select name from sqlite_master where type='table'"):
            for row in con.execute(f'select * from "{table}"'):
                for v in row:
                    text = v.decode("utf-16-le", "ignore") + v.decode("utf-8", "ignore") if isinstance(v, bytes) else str(v)
                    found = found or wanted in text
    except sqlite3.DatabaseError:
        pass
sys.exit(0 if found else 1)
PY

# The headless modes on comma-separated text, as a user exports a recorded chart.
printf 'Time,cpu,memory\r\n12/08/2026 10:00:00,10,40\r\n12/08/2026 10:00:01,30,41\r\n12/08/2026 10:00:02,20,42\r\n' \
  >"$work/recorded.csv"
"$tallon" --export-image "$work/recorded.csv" "$work/chart.png" --size 320x200 2>"$work/err" \
  || fail "Tallon --export-image: $(cat "$work/err")"
grep -q "^Tallon: wrote $work/chart.png" "$work/err" || fail "Tallon --export-image said: $(cat "$work/err")"
[ "$(head -c 8 "$work/chart.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "chart.png is no PNG"
"$tallon" --export-csv "$work/recorded.csv" "$work/again.csv" 2>"$work/err" || fail "Tallon --export-csv: $(cat "$work/err")"
[ "$(head -n1 "$work/again.csv" | tr -d '\r')" = "Time,cpu,memory" ] || fail "the exported CSV: $(cat "$work/again.csv")"
[ "$(wc -l <"$work/again.csv")" -eq 4 ] || fail "the exported CSV has not 4 lines: $(cat "$work/again.csv")"
loaded_from_prefix "$tallon" --export-csv "$work/recorded.csv" "$work/again.csv"

# Automation: the installed activation file starts the installed program, and a script reaches it
# through the installed proxy library, on a private session bus that knows only this installation.
service=$prefix/share/dbus-1/services/com.zynthar.Tallon.service
grep -qx "Exec=$tallon /Automation" "$service" || fail "the D-Bus activation file says: $(cat "$service" 2>&1)"
sed -e "s|<servicedir>.*</servicedir>|<servicedir>$prefix/share/dbus-1/services</servicedir>|" \
  app/automation/tests/session-bus.conf.in >"$work/bus.conf"
version=$("$tallon" --version | head -n1)
cat >"$work/automation.js" <<'JS'
var app = WScript.CreateObject("Tallon.Application");
app.AddChart().Name = "Installed";
WScript.Echo(app.FindChart("Installed").Name);
JS
cat >"$work/automation.sh" <<SH
set -e
described=\$(busctl --user call com.zynthar.Tallon /com/zynthar/Tallon/Application com.zynthar.Tallon.ICoApp Describe)
[ "\$described" = 's "$version"' ] || { echo "busctl Describe: \$described"; exit 1; }
"$tallon" /Register
"$zynscript" "$work/automation.js"
SH
out=$(dbus-run-session --config-file="$work/bus.conf" -- bash "$work/automation.sh" 2>&1) ||
  fail "automation of the installed program: $out"
grep -qx Installed <<<"$out" || fail "the automation script printed: $out"

echo "install-check: the installed programs run from $prefix without the build tree"
