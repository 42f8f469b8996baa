#!/usr/bin/env bash
# The Linux and the Windows orvanpack pack every sample into the same bytes, with its project
# files in LZMA blocks (the default: both compile the same encoder) and with --store. Their zlib
# encoders differ (libdeflate, zlib), so --compression zlib packages are only checked to verify,
# every compressed item decoded, by the Linux orvanpack; so are the LZMA ones, every block and
# item decoded.
# Usage: OrvanpackSameBytes.sh SOURCE_ROOT WIN32_BUILD WORK_FOLDER [NATIVE_ORVANPACK]
set -euo pipefail
root=$1
win32=$2
work=$3
native=${4:-$root/build/native/tools/orvanpack/orvanpack}
run() { "$root/scripts/wine-run.sh" "$@"; }
source "$(dirname "$0")/WindowsPath.sh"

if [ ! -x "$native" ]; then
  echo "no Linux orvanpack at $native: build the native preset first"
  exit 77
fi
rm -rf "$work"
mkdir -p "$work"
for manifest in "$root"/samples/*.toml; do
  name=$(basename "$manifest" .toml)
  for mode in lzma store zlib; do
    "$native" build --quiet --compression $mode --manifest "$manifest" -o "$work/$name-$mode-linux.exe"
    run "$win32/bin/orvanpack.exe" build --quiet --compression $mode --manifest "$(windows_path "$manifest")" \
      -o "$(windows_path "$work/$name-$mode-windows.exe")" </dev/null
    "$native" verify "$work/$name-$mode-windows.exe" >/dev/null
    [ "$mode" = zlib ] && continue
    if ! cmp "$work/$name-$mode-linux.exe" "$work/$name-$mode-windows.exe"; then
      echo "$name ($mode): the Linux and the Windows orvanpack disagree"
      exit 1
    fi
    echo "$name ($mode): $(stat -c %s "$work/$name-$mode-linux.exe") bytes, the same from both"
  done
done
