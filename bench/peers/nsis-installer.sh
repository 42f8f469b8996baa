#!/usr/bin/env bash
# Builds the NSIS installer the extraction is compared with: every file below SOURCE, zlib as
# its compressor (not solid), silent, installing into the folder given with /D= (default: the
# temporary folder). With SOURCE "-" the installer carries nothing: the size of NSIS's stub.
#   bench/peers/nsis-installer.sh SOURCE OUTPUT.exe
set -euo pipefail
source=$1
output=$(realpath -m "$2")
script=$(mktemp --suffix=.nsi)
trap 'rm -f "$script"' EXIT
{
  echo 'Unicode true'
  echo 'SetCompressor zlib'
  echo "OutFile \"$output\""
  echo 'InstallDir "$TEMP\OrvanBenchNsis"'
  echo 'RequestExecutionLevel user'
  echo 'SilentInstall silent'
  echo 'Section'
  echo '  SetOutPath "$INSTDIR"'
  if [ "$source" != - ]; then echo "  File /r \"$(realpath "$source")/*\""; fi
  echo 'SectionEnd'
} >"$script"
makensis -V2 "$script"
