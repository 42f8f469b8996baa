#!/usr/bin/env bash
# Sets up what is missing, builds every preset and runs all tests; ends with ctest's summary.
set -euo pipefail
source "$(dirname "$0")/common.sh"
ensure_setup
cd "$root"
status=0
for preset in native clang win32; do
  echo "== build $preset"
  build_preset "$preset"
done
wineserver -p 2>/dev/null || true  # keep one server for all Wine tests
for preset in native clang win32; do
  echo "== test $preset"
  ctest --preset "$preset" || status=1
done
exit $status
