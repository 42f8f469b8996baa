#!/usr/bin/env bash
# The release bundle, used as an author uses it: archived by cpack from the build, unpacked
# alone into a scratch folder, it holds exactly the packer, the stubs, the components and the
# two READMEs; its packer writes a starter manifest for a project and packs it. The Windows
# bundle's packed project then installs silently under Wine and is removed by its uninstaller.
# Usage: ReleaseBundle.sh win32|linux SOURCE_ROOT BUILD_FOLDER WORK_FOLDER
set -euo pipefail
kind=$1
root=$2
build=$3
work=$4
run() { "$root/scripts/wine-run.sh" "$@"; }
source "$(dirname "$0")/WindowsPath.sh"

if [ "$kind" = linux ] && [ ! -f "$(sed -n 's/^ORVAN_COMPONENTS_DIR:PATH=//p' "$build/CMakeCache.txt")/Orvan3DExe.exe" ]; then
  echo "skipped: the Linux bundle carries the Windows build's components; build the win32 preset first"
  exit 77
fi
rm -rf "$work"
mkdir -p "$work/archive" "$work/unpacked"
(cd "$build" && cpack -B "$work/archive" >"$work/cpack.log") || { cat "$work/cpack.log"; exit 1; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
if [ "$kind" = win32 ]; then
  archive="$work/archive/Orvan3D-$version-win32.zip"
  unzip -q "$archive" -d "$work/unpacked"
  packer=orvanpack.exe
else
  archive="$work/archive/Orvan3D-$version-linux-x86_64.tar.gz"
  tar -xzf "$archive" -C "$work/unpacked"
  packer=orvanpack
fi
bundle="$work/unpacked/Orvan3D-$version-$([ "$kind" = win32 ] && echo win32 || echo linux-x86_64)"

# Exactly what an author needs: no test program, no tool of the build.
expected="README.md orvanpack-README.md bin/$packer bin/Orvan3DExe.exe bin/Orvan3DExeAdmin.exe bin/OrvanViewer.exe
bin/ZRXUnInst.exe bin/ZRXUnInstUser.exe bin/ZRXSvr.scr bin/WinAmp.dll bin/EngineCore.dll bin/3rd/msvcr71.dll
bin/channels/ChunkLoader.dll bin/channels/ChunkSaver.dll bin/channels/FolderScan.dll
bin/channels/3A5C2E10-6B7D-4E21-9F0A-1C2D3E4F5A61.dll bin/channels/7B1D4F22-8C3E-4A52-B06F-2D3E4F5A6B72.dll
bin/channels/9C2E5A33-0D4F-4B63-A17E-3E4F5A6B7C83.dll bin/channels/1D3F6B44-2E5A-4C74-B28D-4F5A6B7C8D94.dll
bin/channels/4E4A7C55-3F6B-4D85-A39C-5A6B7C8D9EA5.dll"
actual=$(cd "$bundle" && find . -type f | sed 's|^\./||' | sort)
if [ "$actual" != "$(tr ' ' '\n' <<<"$expected" | sed '/^$/d' | sort)" ]; then
  echo "the bundle holds other files than an author needs:"
  diff <(tr ' ' '\n' <<<"$expected" | sed '/^$/d' | sort) <(echo "$actual") || true
  exit 1
fi

# A project beside the bundle, its starter manifest made by the bundle's packer, which finds
# the components next to itself.
cp -r "$root/samples/project" "$work/My Project"
if [ "$kind" = win32 ]; then
  folder='C:\OrvanReleaseTest'
  unix_folder=$(winepath -u "$folder")
  key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvan3DMy Project'
  cleanup() {
    run reg delete "$key" /f >/dev/null 2>&1 || true
    rm -rf "$unix_folder" "$(winepath -u 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs')/My Project"
  }
  cleanup
  trap cleanup EXIT
  run "$bundle/bin/$packer" init "$(windows_path "$work/My Project")" >/dev/null
  sed -i 's/^type = "run"/type = "install"/' "$work/My Project.toml"
  grep -q "^components = '\?\"\?.*unpacked" "$work/My Project.toml" || { cat "$work/My Project.toml"; exit 1; }
  run "$bundle/bin/$packer" build --quiet --manifest "$(windows_path "$work/My Project.toml")" \
    -o "$(windows_path "$work/My Project.exe")"
  status=0
  run "$work/My Project.exe" /S "/D=$folder" || status=$?
  for file in OrvanViewer.exe EngineCore.dll ZRXStart.zrx uninstall.nfo; do
    [ -f "$unix_folder/$file" ] || { echo "the install wrote no $file (exit code $status)"; exit 1; }
  done
  run "$unix_folder/ZRXUnInst.exe" /S
  for _ in $(seq 1 50); do [ -e "$unix_folder" ] || break; sleep 0.2; done
  [ ! -e "$unix_folder" ] || { echo "the uninstaller left $folder"; exit 1; }
else
  "$bundle/bin/$packer" init "$work/My Project" >/dev/null
  grep -q "^components = .*unpacked" "$work/My Project.toml" || { cat "$work/My Project.toml"; exit 1; }
  "$bundle/bin/$packer" build --quiet --manifest "$work/My Project.toml" -o "$work/My Project.exe"
  "$bundle/bin/$packer" verify "$work/My Project.exe" >/dev/null
fi
echo "release bundle $(basename "$archive"): $(wc -l <<<"$actual") files, packs and $([ "$kind" = win32 ] && echo installs || echo verifies) a project"
