#!/usr/bin/env bash
# Sets up, builds and runs every test: the normal build, the address+undefined sanitizer build
# (which also replays the fuzz corpora and fuzzes each target briefly), and the thread-sanitizer
# build (every test but those labelled no-tsan; see CMakePresets.json for the sanitizers' options).
# Exits non-zero when any test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh default asan tsan
export LC_ALL=C.UTF-8
status=0
ctest --preset default -j "$(nproc)" || status=1
ctest --preset asan -j "$(nproc)" || status=1
ctest --preset tsan -j "$(nproc)" || status=1
exit $status
