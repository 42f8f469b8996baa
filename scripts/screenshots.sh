#!/usr/bin/env bash
# Remakes the pictures in docs/images/: packs the samples, runs each mode under Wine on a
# virtual X display (Xvfb) and saves every window a user meets as a PNG cropped to that window.
# Run it again when a dialog changes. It works in a scratch Wine prefix of its own, which
# Wine's X11 driver draws into (the suite's prefixes use the null driver and draw nothing),
# and leaves nothing behind: the installs go into that prefix, which is removed with the
# display at the end.
set -euo pipefail
# shellcheck source=scripts/common.sh
source "$(dirname "$0")/common.sh"
ensure_setup
cd "$root"
started=$(date +%s)
images="$root/docs/images"

need_root() { if [ "$(id -u)" -ne 0 ]; then sudo "$@"; else "$@"; fi; }

# The virtual display, the tools that drive and photograph it, and Wine's own fonts (without
# them the caption buttons show letters instead of their symbols).
packages=(xvfb xdotool imagemagick fonts-wine)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  # A mirror in the middle of a sync fails an index now and then; the install tells whether
  # the lists were good enough.
  for try in 1 2 3; do
    need_root apt-get update -q >/dev/null 2>&1 && break
    [ "$try" -lt 3 ] && sleep $((try * 10))
  done
  need_root apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null ||
    { echo "screenshots: installing ${missing[*]} failed; run it again later" >&2; exit 1; }
fi

echo "== building orvanpack and the Windows components"
cmake --preset native >/dev/null && cmake --build --preset native --target orvanpack >/dev/null
cmake --preset win32 >/dev/null &&
  cmake --build --preset win32 --target Orvan3DExe Orvan3DExeAdmin OrvanViewer ZRXSvr ZRXUnInst orvan_engine_files >/dev/null
pack="$root/build/native/tools/orvanpack/orvanpack"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/orvan-screenshots.XXXXXX")
xvfb_pid=
cleanup() {
  # Only this prefix's Wine processes: the suite's prefixes have servers of their own.
  if [ -f "$scratch/prefix/system.reg" ]; then WINEPREFIX="$scratch/prefix" wineserver -k 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT

# The samples as they are, beside the build their manifests name ("../build/win32/bin"), with
# two changes that only make the pictures possible: the viewer stays open for 5 s instead of
# 1.5 s, and the install carries a 64 MiB file, so that its progress window is on screen
# long enough to be photographed with the bar part-filled.
mkdir -p "$scratch/samples"
cp -r samples/project samples/*.toml "$scratch/samples/"
ln -s "$root/build" "$scratch/build"
# "HOLD" is the start file's second chunk; its 32-bit value lies at byte 30.
[ "$(dd if="$scratch/samples/project/ZRXStart.zrx" bs=1 skip=22 count=4 status=none)" = HOLD ] ||
  { echo "screenshots: samples/project/ZRXStart.zrx no longer has HOLD at byte 22" >&2; exit 1; }
printf '\x88\x13\x00\x00' | dd of="$scratch/samples/project/ZRXStart.zrx" bs=1 seek=30 conv=notrunc status=none
"$pack" build -q --manifest "$scratch/samples/project.toml" -o "$scratch/Run.exe"
"$pack" build -q --manifest "$scratch/samples/screensaver.toml" -o "$scratch/ScreenSaver.exe"
head -c 64M /dev/urandom >"$scratch/samples/project/textures/large.tex"
"$pack" build -q --manifest "$scratch/samples/install.toml" -o "$scratch/Install.exe"

# A display number nobody uses, picked by Xvfb itself.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$scratch/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.1; done
[ -s "$scratch/display" ] || { echo "screenshots: Xvfb did not start" >&2; exit 1; }
DISPLAY=":$(head -1 "$scratch/display")"
export DISPLAY
export WINEPREFIX="$scratch/prefix" WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

echo "== making a scratch Wine prefix (a minute or two under an emulator)"
wineboot -i >/dev/null 2>&1 || true
# There is no window manager to draw title bars: unmanaged windows get Wine's own. A crashing
# program must end, not wait behind a crash dialog.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
wineserver -w
# Debian's Wine finds its own fonts only in the prefix: Marlett draws the title bars' buttons,
# Tahoma is the dialogs' "MS Shell Dlg".
cp /usr/share/wine/fonts/{marlett,tahoma,tahomabd}.ttf "$WINEPREFIX/drive_c/windows/Fonts/"

# The visible window whose title matches the (extended) regular expression, once it is there.
wait_window() {
  local id
  for _ in $(seq 600); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  echo "screenshots: no window \"$1\" appeared within a minute or two" >&2
  return 1
}

wait_gone() {
  for _ in $(seq 300); do
    [ -z "$(xdotool search --onlyvisible --name "$1" 2>/dev/null || true)" ] && return 0
    sleep 0.2
  done
  echo "screenshots: the window \"$1\" did not close" >&2
  return 1
}

grab() { import -window "$1" -strip "PNG:$2" 2>/dev/null; }

# Photographs the window once it is painted: when two pictures in a row are the same (or, with
# a test, when the test accepts the picture), then saves it as docs/images/NAME.png.
shot() {
  local id=$1 name=$2 ready=${3:-} previous="$scratch/previous.png" current="$scratch/current.png"
  local taken=
  rm -f "$previous"
  for _ in $(seq 100); do
    if grab "$id" "$current"; then
      if [ -n "$ready" ]; then
        "$ready" "$current" && { taken=1; break; }
      elif [ -f "$previous" ] && cmp -s "$previous" "$current"; then
        taken=1
        break
      fi
      mv "$current" "$previous"
    fi
    # A test waits for a moment that may be short (the progress bar); stability needs a pause.
    [ -n "$ready" ] || sleep 0.2
  done
  [ -n "$taken" ] || { echo "screenshots: $name: the window was never ready to be photographed" >&2; return 1; }
  mkdir -p "$images"
  convert "$current" -strip "PNG:$images/$name.png"
  echo "   docs/images/$name.png ($(stat -c %s "$images/$name.png") bytes)"
}

# A progress window whose bar is filled a good part of the way (from 20 %; the first steps
# pass quickly): the blue share of the bar, below the title bar, against its white.
bar_filled() {
  local lower blue white
  lower=(-gravity south -crop 100%x50%+0+0 +repage)
  blue=$(convert "$1" "${lower[@]}" -fx '(b > 0.6 && r < 0.5) ? 1 : 0' -format '%[fx:mean]' info:)
  white=$(convert "$1" "${lower[@]}" -fx '(r > 0.97 && g > 0.97 && b > 0.97) ? 1 : 0' -format '%[fx:mean]' info:)
  awk -v b="$blue" -v w="$white" 'BEGIN { exit !(b + w > 0 && b / (b + w) >= 0.2 && b / (b + w) < 0.95) }'
}

# The screen saver once it has drawn its project: anything but black.
not_black() { [ "$(convert "$1" -format '%[fx:maxima]' info:)" != 0 ]; }

# Clicks the control at the dialog-unit rectangle X Y W H of a dialog of DW x DH dialog units
# (the sizes in ui/Resources.rc), in its middle. Wine's frame: 3 pixels around, a 19-pixel
# title bar.
click_control() {
  local id=$1 x=$2 y=$3 w=$4 h=$5 dw=$6 dh=$7 WIDTH HEIGHT
  eval "$(xdotool getwindowgeometry --shell "$id" | grep -E '^(WIDTH|HEIGHT)=')"
  local px=$((3 + (2 * x + w) * (WIDTH - 6) / (2 * dw)))
  local py=$((22 + (2 * y + h) * (HEIGHT - 25) / (2 * dh)))
  xdotool mousemove --window "$id" "$px" "$py" click 1
}
options='Orvan3D Sample Installation Options$'
click_install() { click_control "$1" 127 64 50 14 239 86; }
click_browse() { click_control "$1" 176 35 50 14 239 86; }

# The message box of the project's name, closed with the key that presses its button.
close_box() {
  xdotool windowfocus --sync "$1" 2>/dev/null || true
  xdotool key Return
  wait_gone '^Orvan3D Sample$'
}

# Each window's id goes into a variable first: a window that never came then stops the run.
echo "== running in place: the viewer"
(cd "$scratch" && wine Run.exe >/dev/null 2>&1) &
run=$!
viewer=$(wait_window '^Orvan3D Viewer - Orvan3D Sample$')
shot "$viewer" viewer-window
wait "$run"

echo "== installing: options, folder browser, progress, success"
(cd "$scratch" && wine Install.exe >/dev/null 2>&1) &
run=$!
dialog=$(wait_window "^$options")
shot "$dialog" options-dialog
click_browse "$dialog"
browser=$(wait_window '^Browse for Folder$')
shot "$browser" folder-browser
xdotool windowfocus --sync "$browser" 2>/dev/null || true
xdotool key Escape
wait_gone '^Browse for Folder$'
click_install "$dialog"
progress=$(wait_window '^Installing\.\.\.$')
shot "$progress" progress-window bar_filled
box=$(wait_window '^Orvan3D Sample$')
shot "$box" success-box
close_box "$box"
wait "$run"

echo "== installing and starting the screen saver"
(cd "$scratch" && wine ScreenSaver.exe >/dev/null 2>&1) &
run=$!
dialog=$(wait_window "^$options")
click_install "$dialog"
box=$(wait_window '^Orvan3D Sample$')
close_box "$box"
wait "$run"
wine 'C:\windows\system32\Orvan3D Sample.scr' /s >/dev/null 2>&1 &
run=$!
saver=$(wait_window '^Orvan3D Sample - Orvan3D Screen Saver$')
shot "$saver" screen-saver not_black
# A click ends it, as it would a user's.
xdotool mousemove --window "$saver" 20 20 click 1
wait "$run"

echo "== done in $(($(date +%s) - started)) s; pictures in docs/images/"
