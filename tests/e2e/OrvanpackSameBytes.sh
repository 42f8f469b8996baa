#!/usr/bin/env bash
# The Linux and the Windows orvanpack pack every sample into the same bytes with --store. Their
# project-file encoders differ (libdeflate, zlib), so compressed packages are only checked to
# verify, with every compressed item decoded, by the Linux orvanpack.
# Usage: OrvanpackSameBytes.sh SOURCE_ROOT WIN32_BUILD WORK_FOLDER [NATIVE_ORVANPACK]
set -euo pipefail
root=$1
win32=$2
work=$3
native=${4:-$root/build/native/tools/orvanpack/orvanpack}
run() { "$root/scripts/wine-run.sh" "$@"; }

if [ ! -x "$native" ]; then
  echo "no Linux orvanpack at $native: build the native preset first"
  exit 77
fi
rm -rf "$work"
mkdir -p "$work"
for manifest in "$root"/samples/*.toml; do
  name=$(basename "$manifest" .toml)
  "$native" build --quiet --store --manifest "$manifest" -o "$work/$name-linux.exe"
  run "$win32/bin/orvanpack.exe" build --quiet --store --manifest "$(winepath -w "$manifest")" \
    -o "$(winepath -w "$work/$name-windows.exe")" </dev/null
  run "$win32/bin/orvanpack.exe" build --quiet --manifest "$(winepath -w "$manifest")" \
    -o "$(winepath -w "$work/$name-windows-compressed.exe")" </dev/null
  "$native" verify "$work/$name-windows-compressed.exe" >/dev/null
  if ! cmp "$work/$name-linux.exe" "$work/$name-windows.exe"; then
    echo "$name: the Linux and the Windows orvanpack disagree"
    exit 1
  fi
  echo "$name: $(stat -c %s "$work/$name-linux.exe") bytes, the same from both"
done
