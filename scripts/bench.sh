#!/usr/bin/env bash
# Prints benchmark numbers; nothing here asserts on a timing.
set -euo pipefail
source "$(dirname "$0")/common.sh"
ensure_setup
cd "$root"
build_preset native >/dev/null
build_preset win32 >/dev/null
echo "== stub size"
echo "Orvan3DExe.exe: $(stat -c %s build/win32/bin/Orvan3DExe.exe) bytes (the search bound is 199,980)"
echo "== CRC-32, native"
build/native/bench/crc_bench
echo "== CRC-32, 32-bit Windows build under Wine"
wine build/win32/bin/crc_bench.exe 2>/dev/null | tr -d '\r'
