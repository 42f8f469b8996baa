#!/usr/bin/env bash
# Packs programs, signs them with a throw-away certificate made here, checks the signatures and
# runs the signed programs under Wine, also after a package was planted inside their
# certificate table. Usage: SignedPackage.sh TEST_EXE WORK_FOLDER [ORVANPACK]
# ORVANPACK, the native packer, lists the planted file's table when it has been built.
set -euo pipefail
test_exe=$1
work=$2
orvanpack=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
run() { "$here/../../scripts/wine-run.sh" "$@"; }
source "$(dirname "$0")/WindowsPath.sh"

rm -rf "$work"
mkdir -p "$work"
run "$test_exe" --make "$(windows_path "$work")"

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

# The signature must still hold after the planting: that is what makes the attack work.
for name in decoy padded admin; do
  run "$test_exe" --forge "$(windows_path "$work/$name-signed.exe")" "$(windows_path "$work/$name-forged.exe")"
  if ! osslsigncode verify -CAfile "$work/cert.pem" -in "$work/$name-forged.exe" >"$work/$name-forged-verify.txt" 2>&1; then
    echo "signature of $name-forged.exe no longer verifies, so it proves nothing:"
    cat "$work/$name-forged-verify.txt"
    exit 1
  fi
done

# The packer's list shows the signed table, never the planted one.
if [ -n "$orvanpack" ] && [ -x "$orvanpack" ]; then
  "$orvanpack" list "$work/padded-forged.exe" >"$work/list.txt"
  if ! grep -q 'PROJECTTYPE' "$work/list.txt" || grep -q 'FORGED' "$work/list.txt"; then
    echo "orvanpack list shows another table than the signed one:"
    cat "$work/list.txt"
    exit 1
  fi
else
  echo "no native orvanpack at '$orvanpack': its list of the planted file is not checked here"
fi

ORVAN_SIGNED_FOLDER=$(windows_path "$work") run "$test_exe"
