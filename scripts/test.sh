#!/usr/bin/env bash
# Sets up, builds and runs every test: the normal build (then installed into a temporary prefix and
# run from there without the build tree, and, as root, packaged, installed and removed as a .deb),
# the address+undefined sanitizer build (which also replays the fuzz corpora and fuzzes each target
# briefly), and the thread-sanitizer build (see CMakePresets.json for the sanitizers' options).
# Exits non-zero when any test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh default asan tsan
export LC_ALL=C.UTF-8
status=0
ctest --preset default -j "$(nproc)" || status=1
scripts/install-check.sh build || status=1
# The Debian package is installed into the system and removed again: only as root (as CI runs).
if [ "$(id -u)" -eq 0 ]; then
  scripts/deb-check.sh build || status=1
else
  echo "test.sh: the Debian package check needs root; skipped"
fi
ctest --preset asan -j "$(nproc)" || status=1
# Every test runs under the thread sanitizer too; the libraries that are not instrumented (Qt, D-Bus,
# GLib) are named in sanitizers/tsan.supp.
ctest --preset tsan -j "$(nproc)" || status=1
exit $status
