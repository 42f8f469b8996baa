#!/usr/bin/env bash
# Builds the NSIS installer the extraction is compared with: every file below SOURCE, zlib as
# its compressor (not solid; COMPRESSOR, for example "/SOLID lzma", names another), silent,
# installing into the folder given with /D= (default: the temporary folder). With SOURCE "-"
# the installer carries nothing: the size of NSIS's stub.
#   bench/peers/nsis-installer.sh SOURCE OUTPUT.exe [COMPRESSOR]
set -euo pipefail
source=$1
output=$(realpath -m "$2")
compressor=${3:-zlib}
script=$(mktemp --suffix=.nsi)
trap 'rm -f "$script"' EXIT
{
  echo 'Unicode true'
  echo "SetCompressor $compressor"
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
