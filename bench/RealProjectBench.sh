#!/usr/bin/env bash
# Any folder of real content packed and installed the way an author would ship it: our package
# with its project files in LZMA blocks and file by file with zlib, against NSIS (zlib, and
# /SOLID lzma) and 7z -mx=9 of the same files. Sizes, packing time, and silent installs under
# Wine timed start to exit (interleaved, median of BENCH_RUNS), run in place to the viewer's
# start, and the program's peak memory. Prints ratios; asserts nothing. Called by
# scripts/bench.sh with the Wine environment set:
#   bench/RealProjectBench.sh NATIVE_BUILD WIN32_BUILD DIR
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
native=$(cd "$1" && pwd)
win32=$(cd "$2" && pwd)
content=$(cd "$3" && pwd)
runs=${BENCH_RUNS:-3}
work=${BENCH_WORK:-/tmp/orvan-bench}/real
pack=$native/tools/orvanpack/orvanpack
probe=$native/bench/orvan_runprobe
rm -rf "$work"
mkdir -p "$work/project/files" "$root/bench/results"
trap 'rm -rf "$work"' EXIT
table=$root/bench/results/real-$(basename "$content")-$(date +%Y%m%d-%H%M%S).txt

# The project: the folder's files and a start file for the viewer.
cp -r "$content/." "$work/project/files/"
cp "$root/samples/project/ZRXStart.zrx" "$work/project/files/ZRXStart.zrx"
temp_windows=$(wine cmd /c echo %TEMP% </dev/null 2>/dev/null | tr -d "\r")
temp_unix=$(readlink -f "$(winepath -u "$temp_windows" 2>/dev/null)")
target=$temp_unix/OrvanRealInstall
target_windows=$(winepath -w "$target" 2>/dev/null | tr -d '\r')
manifest() {  # TYPE COMPRESSION
  printf '[project]\ntype = "%s"\nname = "Real Project"\nfiles = "files"\ncomponents = "%s"\ncompression = "%s"\n' \
    "$1" "$win32/bin" "$2"
  [ "$1" = install ] && printf 'shortcut = "Orvan3D Real Bench"\n'
  true
}
now_ms() { date +%s%3N; }
declare -A size pack_ms
for c in lzma zlib; do
  manifest install $c >"$work/project/install-$c.toml"
  start=$(now_ms)
  "$pack" build --stub "$win32/bin/Orvan3DExe.exe" --manifest "$work/project/install-$c.toml" \
    -o "$work/Orvan-$c.exe" 2>"$work/pack-$c.txt" >/dev/null
  pack_ms[$c]=$(($(now_ms) - start))
  size[$c]=$(stat -c %s "$work/Orvan-$c.exe")
done
manifest run lzma >"$work/project/run.toml"
"$pack" build --quiet --stub "$win32/bin/Orvan3DExe.exe" --manifest "$work/project/run.toml" -o "$work/OrvanRun.exe"
"$root/bench/peers/nsis-installer.sh" "$content" "$work/NsisZlib.exe" >/dev/null
"$root/bench/peers/nsis-installer.sh" "$content" "$work/NsisLzma.exe" "/SOLID lzma" >/dev/null
(cd "$content" && 7zz a -mx=9 -bd "$work/content.7z" . >/dev/null)
size[nsiszlib]=$(stat -c %s "$work/NsisZlib.exe")
size[nsislzma]=$(stat -c %s "$work/NsisLzma.exe")
size[7z]=$(stat -c %s "$work/content.7z")
bytes=$(du -sb "$content" | cut -f1)

field() { sed -n "s/.*\b$1=\([^ ]*\).*/\1/p" <<<"$2"; }
declare -A times mem
install() {  # KEY EXE
  local line
  rm -rf "$target"
  sync
  line=$("$probe" --timeout 600 -- wine "$2" /S "/D=$target_windows" </dev/null 2>/dev/null)
  # Ours adds its own programs beside the files; nothing of the folder may differ or be missing.
  if diff -rq "$content" "$target" 2>&1 | grep -v "^Only in $target" | grep -q .; then
    echo "$1: the installed files differ from the folder" >&2
  fi
  rm -rf "$target"
  times[$1]="${times[$1]:-} $(field total "$line")"
  mem[$1]=$(field hwm_kib "$line")
}
wineserver -p 2>/dev/null || true
wine cmd /c exit </dev/null >/dev/null 2>&1
for key in lzma zlib nsiszlib nsislzma; do  # warm-up
  case $key in lzma | zlib) install "$key" "$work/Orvan-$key.exe" ;; nsiszlib) install $key "$work/NsisZlib.exe" ;; nsislzma) install $key "$work/NsisLzma.exe" ;; esac
  times[$key]=
done
for ((i = 0; i < runs; i++)); do
  install lzma "$work/Orvan-lzma.exe"
  install zlib "$work/Orvan-zlib.exe"
  install nsiszlib "$work/NsisZlib.exe"
  install nsislzma "$work/NsisLzma.exe"
done
runs_line=""
for ((i = 0; i < runs; i++)); do
  line=$("$probe" --viewer OrvanViewer.exe --viewer-folder "$temp_unix/" --timeout 600 -- wine "$work/OrvanRun.exe" \
    </dev/null 2>/dev/null) || true
  runs_line="$runs_line $(field viewer_start "$line")"
  runmem=$(field hwm_kib "$line")
done
median() { tr ' ' '\n' <<<"$1" | grep . | sort -n | awk '{ v[NR] = $1 } END { print NR ? v[int((NR + 1) / 2)] : "-" }'; }
{
  echo "== real content: $content, $bytes bytes (load $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores, median of $runs)"
  printf "sizes: ours lzma %d, ours zlib %d, NSIS zlib %d, NSIS /SOLID lzma %d, 7z -mx=9 %d (content only)\n" \
    "${size[lzma]}" "${size[zlib]}" "${size[nsiszlib]}" "${size[nsislzma]}" "${size[7z]}"
  awk -v a="${size[lzma]}" -v s="${size[7z]}" -v n="${size[nsislzma]}" -v z="${size[zlib]}" 'BEGIN {
    printf "ours lzma / 7z -mx=9: %.3f (target 1.00); / NSIS /SOLID lzma: %.3f (target 0.97); / ours zlib: %.3f\n", a / s, a / n, a / z }'
  echo "packing: lzma ${pack_ms[lzma]} ms ($(tail -1 "$work/pack-lzma.txt" | sed 's/.*project files (\([^)]*\)).*/\1/')), zlib ${pack_ms[zlib]} ms"
  l=$(median "${times[lzma]}"); z=$(median "${times[zlib]}"); nz=$(median "${times[nsiszlib]}"); nl=$(median "${times[nsislzma]}")
  r=$(median "$runs_line")
  echo "silent install ms: ours lzma $l, ours zlib $z, NSIS zlib $nz, NSIS /SOLID lzma $nl; run in place to viewer start: $r ms"
  awk -v l="$l" -v nz="$nz" -v nl="$nl" -v r="$r" 'BEGIN {
    printf "ours lzma install / NSIS zlib: %.2f (target 1.0); / NSIS lzma: %.2f (target 0.35); run in place / NSIS zlib install: %.2f (target 1.0)\n", l / nz, l / nl, r / nz }'
  echo "peak memory: install lzma $((${mem[lzma]:-0} / 1024)) MiB, zlib $((${mem[zlib]:-0} / 1024)) MiB, run in place $((${runmem:-0} / 1024)) MiB (VmHWM; bound 96 MiB)"
} | tee "$table"
