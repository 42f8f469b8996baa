#!/usr/bin/env bash
# Sets up a fresh Debian machine for building and testing: apt packages and a headless
# 32-bit Wine prefix. Safe to run again; it only does what is still missing.
set -euo pipefail

packages=(
  wine wine32:i386 wine64
  g++-mingw-w64-i686 mingw-w64-i686-dev libz-mingw-w64-dev
  cmake ninja-build g++ clang libclang-rt-14-dev
  googletest libgtest-dev zlib1g-dev libcli11-dev libtomlplusplus-dev
  osslsigncode openssl
)

need_root() { if [ "$(id -u)" -ne 0 ]; then sudo "$@"; else "$@"; fi; }

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    need_root dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  need_root apt-get update -q
  need_root apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# GoogleTest needs std::mutex, which only the posix-thread mingw compiler provides.
if [ -x /usr/bin/i686-w64-mingw32-g++-posix ]; then
  need_root update-alternatives --set i686-w64-mingw32-g++ /usr/bin/i686-w64-mingw32-g++-posix >/dev/null 2>&1 || true
  need_root update-alternatives --set i686-w64-mingw32-gcc /usr/bin/i686-w64-mingw32-gcc-posix >/dev/null 2>&1 || true
fi

export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-orvan}"
export WINEARCH=win32 WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  # No display here: without this the prefix set-up would try to reach one.
  DISPLAY= wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi
if ! grep -q '"Graphics"="null"' "$WINEPREFIX/user.reg" 2>/dev/null; then
  DISPLAY= wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d null /f >/dev/null 2>&1
  wineserver -w || true
fi
# A crashing test program must fail its test, not wait for someone to close a crash dialog.
if ! grep -q '"ShowCrashDialog"=dword:00000000' "$WINEPREFIX/user.reg" 2>/dev/null; then
  DISPLAY= wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wineserver -w || true
fi
echo "bootstrap: ready (WINEPREFIX=$WINEPREFIX)"
