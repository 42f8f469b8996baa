#!/usr/bin/env bash
# Packs programs, signs them with a throw-away certificate made here, checks the signatures and
# runs the signed programs under Wine. Usage: SignedPackage.sh TEST_EXE WORK_FOLDER
set -euo pipefail
test_exe=$1
work=$2
here=$(cd "$(dirname "$0")" && pwd)
run() { "$here/../../scripts/wine-run.sh" "$@"; }

rm -rf "$work"
mkdir -p "$work"
run "$test_exe" --make "$(winepath -w "$work")"

# A self-signed code-signing certificate that lives as long as this test.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Orvan3D Test Signing" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
for name in decoy padded admin; do
  osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "Orvan3D test" -h sha256 \
    -in "$work/$name.exe" -out "$work/$name-signed.exe" >/dev/null
  # The signature must hold over everything the packer appended.
  if ! osslsigncode verify -CAfile "$work/cert.pem" -in "$work/$name-signed.exe" >"$work/$name-verify.txt" 2>&1; then
    echo "signature of $name-signed.exe does not verify:"
    cat "$work/$name-verify.txt"
    exit 1
  fi
done
ORVAN_SIGNED_FOLDER=$(winepath -w "$work") run "$test_exe"
