#!/usr/bin/env bash
# The main job: set up what is missing, build, pack the sample project into an exe, run it
# under Wine and say in plain words what happened.
set -euo pipefail
source "$(dirname "$0")/common.sh"
ensure_setup
cd "$root"
echo "== building (Linux tools, Windows program)"
build_preset native >/dev/null
build_preset win32 >/dev/null
out="$root/build/demo"
mkdir -p "$out"
pack="$root/build/native/tools/orvanpack/orvanpack"
stub="$root/build/win32/bin/Orvan3DExe.exe"
"$pack" build --stub "$stub" --manifest samples/project.toml -o "$out/Sample.exe"
echo "== packed samples/ into build/demo/Sample.exe ($(stat -c %s "$out/Sample.exe") bytes; the program alone is $(stat -c %s "$stub") bytes)"
"$pack" verify "$out/Sample.exe" >/dev/null && echo "   every entry of the package passes its CRC-32 check"
echo "== running it under Wine"
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
rm -rf "$out/temp"
report=$(wine "$root/build/win32/bin/orvan_drive.exe" --temp "$(winepath -w "$out/temp")" \
         "$(winepath -w "$out/Sample.exe")" 2>/dev/null | tr -d '\r')
echo "$report" | sed 's/^/   /'
field() { echo "$report" | sed -n "s/^$1: //p" | head -1; }
boxes=$(field "message boxes")
code=$(field "exit code")
folder=$(field "run folder")
viewer=$(field "viewer")
echo
if [ "$boxes" = "0" ] && [ "$code" = "0" ] && [ -n "$folder" ] && [ "$viewer" != "not seen" ]; then
  echo "What happened: the program found its package behind its own code and checked it,"
  echo "extracted the viewer, the engine and the project into ${folder% (*},"
  echo "ran the viewer there (${viewer}), waited for it to end,"
  echo "and then removed the run folder again: it is ${folder##*(}" | sed 's/)$//'
  echo "No error box appeared; the program ended with exit code 0."
else
  echo "The program reported a problem (see the lines above)."
  exit 1
fi
