#!/usr/bin/env bash
# Builds the Windows and the Linux preset and archives what an author needs into build/release:
# Orvan3D-<version>-win32.zip (orvanpack.exe) and Orvan3D-<version>-linux-x86_64.tar.gz
# (orvanpack), each with the stubs, the components and the READMEs (see cmake/Release.cmake).
set -euo pipefail
source "$(dirname "$0")/common.sh"
ensure_setup
cd "$root"
for preset in win32 native; do
  build_preset "$preset"
  (cd "build/$preset" && cpack -B "$root/build/release" >/dev/null)
done
rm -rf "$root/build/release/_CPack_Packages"
ls -1 "$root"/build/release/Orvan3D-*
