#!/usr/bin/env bash
# Prints benchmark numbers; nothing here asserts on a timing.
#   scripts/bench.sh          all of them
#   scripts/bench.sh basic    stub size and CRC-32 only
#   scripts/bench.sh extract  run in place against cp -r / rm -r only (bench/RunInPlaceBench.sh)
# NATIVE_BUILD and WIN32_BUILD name other build folders than the presets' (they are built as
# they are configured); bench/RunInPlaceBench.sh lists its own variables.
set -euo pipefail
source "$(dirname "$0")/common.sh"
what=${1:-all}
case "$what" in all | basic | extract) ;; *) echo "usage: scripts/bench.sh [all|basic|extract]" >&2; exit 2 ;; esac
ensure_setup
cd "$root"
native=${NATIVE_BUILD:-build/native}
win32=${WIN32_BUILD:-build/win32}
if [ -n "${NATIVE_BUILD:-}" ]; then
  cmake --build "$native" --target crc_bench orvanpack orvan_payload orvan_runprobe >/dev/null
else build_preset native >/dev/null; fi
if [ -n "${WIN32_BUILD:-}" ]; then cmake --build "$win32" >/dev/null; else build_preset win32 >/dev/null; fi
if [ "$what" != extract ]; then
  echo "== stub size"
  echo "Orvan3DExe.exe: $(stat -c %s "$win32/bin/Orvan3DExe.exe") bytes (the search bound is 199,980)"
  echo "Orvan3DExeAdmin.exe: $(stat -c %s "$win32/bin/Orvan3DExeAdmin.exe") bytes"
  echo "== CRC-32, native"
  "$native/bench/crc_bench"
  echo "== CRC-32, 32-bit Windows build under Wine"
  wine "$win32/bin/crc_bench.exe" 2>/dev/null | tr -d '\r'
fi
if [ "$what" != basic ]; then
  "$root/bench/RunInPlaceBench.sh" "$native" "$win32"
fi
