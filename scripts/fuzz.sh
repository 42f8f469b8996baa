#!/usr/bin/env bash
# Runs every fuzz target for the given number of seconds each (default 60).
set -euo pipefail
source "$(dirname "$0")/common.sh"
ensure_setup
cd "$root"
seconds=${1:-60}
cmake --preset clang -DORVAN_FUZZ_SECONDS="$seconds" >/dev/null
cmake --build --preset clang
ctest --preset clang -R '^fuzz_' --timeout $((seconds + 600))
