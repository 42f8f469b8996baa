#!/usr/bin/env bash
# Runs a Windows program under the project's headless Wine prefix (ctest's emulator).
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-orvan}"
export WINEARCH=win32 WINEDEBUG="${WINEDEBUG:--all}" DISPLAY=
# Shell links made by tests must not turn into desktop menu entries of this machine.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-winemenubuilder.exe=d}"
# The program writes into a file that is followed here, not into ctest's pipe: a Wine service
# it starts on first use (the desktop, the COM server) inherits its output and outlives it,
# and would keep that pipe, and ctest, waiting until the test's time is up. tail looks for the
# program's end every 50 ms: its default of a second would be added to every run.
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
wine "$@" >"$log" 2>&1 </dev/null &
program=$!
tail -n +1 -s 0.05 -f --pid="$program" "$log"
wait "$program"
