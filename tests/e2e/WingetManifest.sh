#!/usr/bin/env bash
# The package manager's manifest of a packed project install, used as a package manager uses
# it: orvanpack.exe packs the sample and writes the manifest, which must pass the published
# schema and name the file's SHA-256; its install switches then install the project silently
# under Wine, and the uninstall entry's quiet command removes it again.
# Usage: WingetManifest.sh SOURCE_ROOT WIN32_BIN WORK_FOLDER SCHEMA_FOLDER
set -euo pipefail
root=$1
bin=$2
work=$3
schemas=$4
run() { "$root/scripts/wine-run.sh" "$@"; }
source "$(dirname "$0")/WindowsPath.sh"

if [ ! -f "$schemas/manifest.installer.1.10.0.json" ]; then
  echo "skipped: the winget manifest schemas are not in $schemas (they are test data, not part of the project)"
  exit 77
fi
name="Orvan3D Winget Test"
key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvan3D$name"
folder='C:\OrvanWingetTest'
unix_folder=$(winepath -u "$folder")
cleanup() {
  run reg delete "$key" /f >/dev/null 2>&1 || true
  rm -rf "$unix_folder" "$(winepath -u 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs')/$name"
}
cleanup
trap cleanup EXIT
rm -rf "$work"
mkdir -p "$work"
cat >"$work/project.toml" <<EOF
[project]
type = "install"
name = "$name"
files = '$(windows_path "$root/samples/project")'
components = '$(windows_path "$bin")'
version = "2.0.1"
publisher = "Velbor Example Ltd"
url = "https://example.com/winget-test"
channels = ["channels/scene.chn"]
channel-libraries = ["channels/effects.chn"]
EOF
run "$bin/orvanpack.exe" build --quiet --manifest "$(windows_path "$work/project.toml")" \
  -o "$(windows_path "$work/Setup.exe")"
run "$bin/orvanpack.exe" manifest --winget "$(windows_path "$work/winget")" \
  --installer-url https://example.com/releases/Setup.exe "$(windows_path "$work/Setup.exe")" >/dev/null

# Valid by the schema of each file's kind; a broken copy is not (the check can fail); then the
# values the rest of the test uses, as shell assignments.
python3 - "$work/winget" "$schemas" >"$work/values.sh" <<'PYTHON'
import json, sys, glob, os
import jsonschema, yaml
folder, schemas = sys.argv[1:3]
kinds = {"version": "manifest.version", "installer": "manifest.installer", "defaultLocale": "manifest.defaultLocale"}
found = {}
for path in sorted(glob.glob(os.path.join(folder, "*.yaml"))):
    document = yaml.safe_load(open(path, encoding="utf-8"))
    schema = json.load(open(os.path.join(schemas, kinds[document["ManifestType"]] + ".1.10.0.json")))
    jsonschema.validate(document, schema)
    found[document["ManifestType"]] = (document, schema)
assert sorted(found) == sorted(kinds), sorted(found)
installer, schema = found["installer"]
broken = json.loads(json.dumps(installer))
broken["ExpectedReturnCodes"][0]["ReturnResponse"] = "noSuchResponse"
try:
    jsonschema.validate(broken, schema)
    sys.exit("the schema check accepts a broken manifest")
except jsonschema.ValidationError:
    pass
switches = installer["InstallerSwitches"]
print("sha256=%s" % installer["Installers"][0]["InstallerSha256"])
print("silent='%s'" % switches["Silent"])
print("location='%s'" % switches["InstallLocation"])
print("log='%s'" % switches["Log"])
print("product='%s'" % installer["ProductCode"])
PYTHON
source "$work/values.sh"
actual=$(sha256sum "$work/Setup.exe" | cut -d' ' -f1)
if [ "${sha256,,}" != "$actual" ]; then
  echo "InstallerSha256 $sha256 is not the file's $actual"
  exit 1
fi
if [ "$product" != "Orvan3D$name" ]; then
  echo "ProductCode $product does not name the uninstall entry"
  exit 1
fi

# The install as the package manager starts it: its switches, the placeholders filled in.
log_path="$(windows_path "$work")\\install.log"
status=0
run "$work/Setup.exe" $silent "${log/<LOGPATH>/$log_path}" "${location/<INSTALLPATH>/$folder}" || status=$?
if [ "$status" != 0 ] || [ ! -f "$unix_folder/OrvanViewer.exe" ] || [ ! -f "$unix_folder/uninstall.nfo" ]; then
  echo "the silent install failed (exit code $status)"
  cat "$work/install.log" 2>/dev/null || true
  exit 1
fi
grep -q "outcome: done, exit code 0" "$work/install.log"

# The removal as the package manager starts it: the entry's quiet command.
quiet=$(run reg query "$key" /v QuietUninstallString | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
program=$(sed -n 's/^"\([^"]*\)".*/\1/p' <<<"$quiet")
if [ -z "$program" ] || [ "${quiet:$((${#program} + 2))}" != " /S" ]; then
  echo "unexpected QuietUninstallString: $quiet"
  exit 1
fi
status=0
run "$program" /S || status=$?
for _ in $(seq 1 50); do [ -e "$unix_folder" ] || break; sleep 0.2; done
if [ "$status" != 0 ] || [ -e "$unix_folder" ] || run reg query "$key" >/dev/null 2>&1; then
  echo "the quiet uninstall left the project behind (exit code $status)"
  exit 1
fi
echo "winget manifest: valid, hash $actual, installed and removed silently"
