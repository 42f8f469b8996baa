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
# One Wine server for all tests, with Wine's own services started here: a service started by
# a test would inherit that test's output pipe and keep ctest waiting for it forever.
wineserver -p 2>/dev/null || true
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
for preset in native clang win32; do
  echo "== test $preset"
  ctest --preset "$preset" || status=1
done
exit $status
