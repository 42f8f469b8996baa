#!/usr/bin/env bash
# A project file larger than a 32-bit process could hold in one buffer, stored as is: run in
# place, the extracted copy compared byte for byte while the viewer runs, and the program's peak
# memory, which must not follow the file's size. Called by scripts/bench.sh with the Wine
# environment set:
#   bench/peers/BigEntryBench.sh NATIVE_BUILD WIN32_BUILD
# Variables: BENCH_BIG_MIB (the file's size, default 1536), BENCH_BIG_COMPRESSIBLE=1 (the file
# made of text lines and packed in LZMA blocks, so the program decodes it as it streams),
# BENCH_WORK as for the others.
# Skipped, with a line saying so, when the disk lacks room for the file, the package and the copy.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
native=$(cd "$1" && pwd)
win32=$(cd "$2" && pwd)
big_mib=${BENCH_BIG_MIB:-1536}
work=${BENCH_WORK:-/tmp/orvan-bench}/big
probe=$native/bench/orvan_runprobe
mkdir -p "$(dirname "$work")" "$root/bench/results"
table=$root/bench/results/big-entry-$(date +%Y%m%d-%H%M%S).txt

temp_windows=$(wine cmd /c echo %TEMP% </dev/null 2>/dev/null | tr -d "\r")
temp_unix=$(readlink -f "$(winepath -u "$temp_windows" 2>/dev/null)")
need_mib=$((big_mib * 3 + 200))
for folder in "$(dirname "$work")" "$temp_unix"; do
  free_mib=$(df -Pm "$folder" | awk 'NR == 2 { print $4 }')
  if [ "$free_mib" -lt "$need_mib" ]; then
    echo "== big stored entry: skipped, $need_mib MiB needed in $folder, $free_mib MiB free" | tee "$table"
    exit 0
  fi
done
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

# A small project from the payload generator, and the big file added to its list.
"$native/bench/orvan_payload" --out "$work/project" --bin "$win32/bin" --mib 4 --files 10 --hold 0 >/dev/null
compressible=${BENCH_BIG_COMPRESSIBLE:-0}
# The big file joins the project's files folder: the short manifest packs every file below it.
big=$work/project/files/big.bin
store=--store
if [ "$compressible" = 1 ]; then
  store=
  # Not a pipe: yes ends by SIGPIPE once head has enough, which pipefail would count as failure.
  head -c $((big_mib << 20)) < <(yes "vertex 0.125 0.250 0.500 normal 0 1 0 texcoord 0.5 0.5") >"$big"
else
  head -c $((big_mib << 20)) /dev/urandom >"$big"
fi
"$native/tools/orvanpack/orvanpack" build --quiet $store --stub "$win32/bin/Orvan3DExe.exe" \
  --manifest "$work/project/project.toml" -o "$work/OrvanBig.exe" >/dev/null

wineserver -p 2>/dev/null || true
wine cmd /c exit </dev/null >/dev/null 2>&1
rm -f "$work/same"
line=$("$probe" --viewer OrvanViewer.exe --viewer-folder "$temp_unix/" --timeout 900 \
  --on-viewer "cmp -s '$big' \"\$RUN_FOLDER/big.bin\" && touch '$work/same'" \
  -- wine "$work/OrvanBig.exe" </dev/null 2>/dev/null) || true
field() { sed -n "s/.*\b$1=\([^ ]*\).*/\1/p" <<<"$line"; }
{
  echo "== big $([ "$compressible" = 1 ] && echo compressed || echo stored) entry: a $big_mib MiB project file run in place (load $(cut -d' ' -f1-3 /proc/loadavg))"
  echo "package $(stat -c %s "$work/OrvanBig.exe") bytes; exit $(field exit); extracted copy byte-exact:" \
    "$([ -e "$work/same" ] && echo yes || echo NO)"
  # Stored, the program holds a few buffers; in LZMA blocks, a block's dictionary (64 MiB) too.
  target=$([ "$compressible" = 1 ] && echo "under 96 MiB, LZMA blocks" || echo "under 64 MiB")
  awk -v s="$(field viewer_start)" -v t="$(field total)" -v h="$(field hwm_kib)" -v m="$(field maxrss_kib)" \
    -v b=$((big_mib << 20)) -v target="$target" 'BEGIN {
    printf "start -> viewer start %.0f ms (%.1f MB/s), whole run %.0f ms\n", s, b / 1e6 / (s / 1e3), t
    printf "peak memory: %.1f MiB VmHWM, %.1f MiB wait4 maxrss (target: %s)\n", h / 1024, m / 1024, target }'
} | tee "$table"
