#!/usr/bin/env bash
# Prints benchmark numbers; nothing here asserts on a timing.
#   scripts/bench.sh          all of them
#   scripts/bench.sh basic    stub size next to NSIS's, CRC-32, start-up overhead
#                             (bench/peers/StartupBench.sh)
#   scripts/bench.sh extract  run in place against cp -r / rm -r, NSIS, a Win32 copy and the
#                             project install (bench/RunInPlaceBench.sh)
#   scripts/bench.sh big      a 1.5 GB stored project file run in place (bench/peers/BigEntryBench.sh)
#   scripts/bench.sh real DIR any folder of content packed (LZMA blocks, zlib) and installed against
#                             NSIS zlib, NSIS /SOLID lzma and 7z -mx=9 (bench/RealProjectBench.sh)
# NATIVE_BUILD and WIN32_BUILD name other build folders than the presets' (they are built as
# they are configured); bench/RunInPlaceBench.sh lists its own variables.
set -euo pipefail
source "$(dirname "$0")/common.sh"
what=${1:-all}
case "$what" in all | basic | extract | big) ;; real) [ -d "${2:-}" ] || { echo "usage: scripts/bench.sh real DIR" >&2; exit 2; } ;;
  *) echo "usage: scripts/bench.sh [all|basic|extract|big|real DIR]" >&2; exit 2 ;; esac
ensure_setup
cd "$root"
native=${NATIVE_BUILD:-build/native}
win32=${WIN32_BUILD:-build/win32}
if [ -n "${NATIVE_BUILD:-}" ]; then
  cmake --build "$native" --target crc_bench orvanpack orvan_payload orvan_runprobe >/dev/null
else build_preset native >/dev/null; fi
if [ -n "${WIN32_BUILD:-}" ]; then cmake --build "$win32" >/dev/null; else build_preset win32 >/dev/null; fi
if [ "$what" = all ] || [ "$what" = basic ]; then
  echo "== stub size"
  echo "Orvan3DExe.exe: $(stat -c %s "$win32/bin/Orvan3DExe.exe") bytes (the search bound is 199,980)"
  echo "Orvan3DExeAdmin.exe: $(stat -c %s "$win32/bin/Orvan3DExeAdmin.exe") bytes"
  echo "== CRC-32, native"
  "$native/bench/crc_bench"
  echo "== CRC-32, 32-bit Windows build under Wine"
  wine "$win32/bin/crc_bench.exe" 2>/dev/null | tr -d '\r'
  echo "(target: Compute at least 8x the byte-at-a-time table)"
  "$root/bench/peers/StartupBench.sh" "$native" "$win32"
fi
if [ "$what" = all ] || [ "$what" = extract ]; then
  "$root/bench/RunInPlaceBench.sh" "$native" "$win32"
fi
if [ "$what" = real ]; then
  "$root/bench/RealProjectBench.sh" "$native" "$win32" "$2"
fi
if [ "$what" = all ] || [ "$what" = big ]; then
  "$root/bench/peers/BigEntryBench.sh" "$native" "$win32"
fi
