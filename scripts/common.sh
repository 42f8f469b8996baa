# Shared by the entry scripts: set-up on first use, and the Wine environment.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-orvan}" WINEARCH=win32 WINEDEBUG=-all DISPLAY=
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-winemenubuilder.exe=d}"

ensure_setup() {
  if ! command -v wine >/dev/null || ! command -v i686-w64-mingw32-g++-posix >/dev/null ||
     ! command -v ninja >/dev/null || ! command -v clang-tidy >/dev/null || ! command -v git-clang-format >/dev/null || ! command -v osslsigncode >/dev/null || [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -d /usr/src/googletest ] ||
     ! /lib/ld-linux.so.2 --version >/dev/null 2>&1 || [ ! -f /usr/include/toml++/toml.h ] || [ ! -f /usr/include/CLI/CLI.hpp ] ||
     [ ! -f /usr/include/lzma/LzmaDec.c ] || ! command -v 7zz >/dev/null ||
     ! grep -q ShowCrashDialog "$WINEPREFIX/user.reg" 2>/dev/null ||
     [ "$(locale -a 2>/dev/null | grep -ciE '^(ja_JP|hi_IN)\.utf8$')" -ne 2 ]; then
    "$here/bootstrap.sh"
  fi
}

build_preset() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1"
}
