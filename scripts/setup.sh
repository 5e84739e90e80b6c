#!/usr/bin/env bash
# Installs every Debian package the project needs (only what is missing), then configures and
# builds the given CMake presets (default: the normal build).
#   scripts/setup.sh [preset ...]
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake ninja-build g++ pkg-config git python3
  zlib1g-dev libdeflate-dev libsqlite3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format clang-tidy
  qt6-base-dev qt6-declarative-dev qt6-svg-dev
  dbus dbus-daemon systemd libglib2.0-bin xvfb xauth fonts-dejavu-core
  desktop-file-utils appstream libxml2-utils shared-mime-info
  dpkg-dev file
  libcurl4-openssl-dev nlohmann-json3-dev ca-certificates
  prometheus prometheus-node-exporter
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

presets=("$@")
((${#presets[@]})) || presets=(default)
for preset in "${presets[@]}"; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)"
done
