#!/usr/bin/env bash
# Sets up a fresh Debian machine for building and testing: apt packages and a headless
# 32-bit Wine prefix. Safe to run again; it only does what is still missing.
set -euo pipefail

packages=(
  wine wine32:i386 wine64
  g++-mingw-w64-i686 mingw-w64-i686-dev libz-mingw-w64-dev
  cmake ninja-build g++ clang libclang-rt-14-dev clang-format clang-tidy git python3
  googletest libgtest-dev zlib1g-dev libcli11-dev libtomlplusplus-dev libdeflate-dev lzma-dev
  osslsigncode openssl
  nsis 7zip
  locales
  nettle-dev python3-jsonschema python3-yaml zip unzip
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
  # A mirror in the middle of a sync fails one index now and then; try again a few times, then
  # go on with what we have: the install itself tells whether the lists were good enough.
  update_log=$(mktemp)
  for try in 1 2 3 4; do
    if need_root apt-get update -q >"$update_log" 2>&1 && ! grep -q '^E: ' "$update_log"; then
      break
    fi
    [ "$try" -lt 4 ] && { echo "bootstrap: apt-get update reported a failed index; retrying in $((try * 10)) s"; sleep $((try * 10)); }
  done
  failed_index=$(grep -E '^(E: Failed to fetch|Err:)' "$update_log" | head -3 || true)
  rm -f "$update_log"
  if ! need_root apt-get install -y -q --no-install-recommends "${missing[@]}"; then
    echo "bootstrap: installing the packages failed; nothing was set up." >&2
    [ -n "$failed_index" ] && printf 'bootstrap: a package index could not be fetched:\n%s\n' "$failed_index" >&2
    echo "bootstrap: the package mirror may be syncing; run the same command again later." >&2
    exit 1
  fi
fi

# GoogleTest needs std::mutex, which only the posix-thread mingw compiler provides.
if [ -x /usr/bin/i686-w64-mingw32-g++-posix ]; then
  need_root update-alternatives --set i686-w64-mingw32-g++ /usr/bin/i686-w64-mingw32-g++-posix >/dev/null 2>&1 || true
  need_root update-alternatives --set i686-w64-mingw32-gcc /usr/bin/i686-w64-mingw32-gcc-posix >/dev/null 2>&1 || true
fi

# Some virtual machines run no 32-bit x86 code of their own ("Exec format error"): there the
# 32-bit Wine loader runs through qemu's user-mode emulator, registered for i386 programs.
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  echo "bootstrap: this kernel runs no 32-bit programs; running them through qemu-i386"
  # Wine needs qemu 8 or later (7.2 ignores MAP_FIXED_NOREPLACE and Wine's start-up then walks
  # the whole address space); Debian 12 has it in its backports.
  if ! qemu-i386-static --version 2>/dev/null | grep -qE 'version ([89]|[1-9][0-9])\.'; then
    if [ ! -f /etc/apt/sources.list.d/orvan-backports.sources ]; then
      # The machine's own archive, as its sources name it.
      archive=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '/^URIs:/ && $2 !~ /security/ {print $2; exit}')
      [ -n "$archive" ] || archive=$(awk '$1 == "deb" && $2 !~ /security/ {print $2; exit}' /etc/apt/sources.list 2>/dev/null)
      printf '%s\n' 'Types: deb' "URIs: $archive" 'Suites: bookworm-backports' \
        'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' |
        need_root tee /etc/apt/sources.list.d/orvan-backports.sources >/dev/null
      need_root apt-get update -q || true
    fi
    need_root apt-get install -y -q --no-install-recommends -t bookworm-backports qemu-user-static
  fi
  # A registration made with an older emulator keeps that file open: make it again.
  if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    echo -1 | need_root tee /proc/sys/fs/binfmt_misc/qemu-i386 >/dev/null
  fi
  if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
    need_root mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  fi
  if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    # i386 ELF executables; F: the emulator is opened now, so it also works inside other roots.
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
      need_root tee /proc/sys/fs/binfmt_misc/register >/dev/null
  fi
  /lib/ld-linux.so.2 --version >/dev/null 2>&1 || { echo "bootstrap: 32-bit programs still cannot run here" >&2; exit 1; }
fi

# Wine takes file names through the Unix locale: the code-page tests run under a Japanese one
# (ANSI code page 932) and one whose ANSI code page is UTF-8 (65001), which must exist.
for locale_name in ja_JP.UTF-8 hi_IN.UTF-8; do
  if ! locale -a 2>/dev/null | grep -qix "${locale_name%.UTF-8}.utf8"; then
    if ! grep -q "^$locale_name UTF-8" /etc/locale.gen 2>/dev/null; then
      echo "$locale_name UTF-8" | need_root tee -a /etc/locale.gen >/dev/null
    fi
    need_root locale-gen >/dev/null
  fi
done

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
