#!/usr/bin/env bash
# The stubs import only libraries every Windows system has in its system folder, nothing
# delay-loaded, and switch the current folder out of the library search before anything else.
# Usage: StubImports.sh OBJDUMP STUB...
set -euo pipefail
objdump=$1
shift
system="advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll shell32.dll shlwapi.dll user32.dll version.dll"
status=0
for stub in "$@"; do
  dump=$("$objdump" -p "$stub")
  names=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
  if [ -z "$names" ]; then
    echo "FAIL $stub: no import table found"
    status=1
  fi
  for name in $names; do
    case " $system " in
      *" $name "*) ;;
      *) echo "FAIL $stub imports $name, not a system library"; status=1 ;;
    esac
  done
  # Here-strings, not pipes: under pipefail a grep -q that stops at its first match can fail
  # the writer of the pipe, and so the check, at random.
  if ! grep -Eq 'Entry d 0+ 0+ Delay Import Directory' <<<"$dump"; then
    echo "FAIL $stub has delay-loaded imports"
    status=1
  fi
  if ! grep -Eq '[[:space:]]SetDllDirectoryA$' <<<"$dump"; then
    echo "FAIL $stub does not call SetDllDirectoryA"
    status=1
  fi
  echo "$stub: $(echo $names)"
done
exit $status
