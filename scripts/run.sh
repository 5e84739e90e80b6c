#!/usr/bin/env bash
# Sets the machine up (packages, the default build) and starts the program with the given arguments.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
exec build/bin/Tallon "$@"
