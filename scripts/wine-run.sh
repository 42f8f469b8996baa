#!/usr/bin/env bash
# Runs a Windows program under the project's headless Wine prefix (ctest's emulator).
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-orvan}"
export WINEARCH=win32 WINEDEBUG="${WINEDEBUG:--all}" DISPLAY=
# Shell links made by tests must not turn into desktop menu entries of this machine.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-winemenubuilder.exe=d}"
exec wine "$@"
