#!/usr/bin/env bash
# Run in place under Wine against cp -r and rm -r of the same files, for the sample project and
# a generated payload; for the payload also against its peers (bench/peers/): an NSIS zlib
# installer of the same files run silently (and an NSIS /SOLID lzma one), our plain Win32 copy
# and delete programs, and the project install of the same package, silent (/S /D=, as NSIS's,
# with the project files in LZMA blocks and file by file with zlib) and driven through its
# dialog. The payload is packed twice, its project files in LZMA blocks (orvanpack's default)
# and stored (--store); package sizes are set beside the NSIS installers' and a 7z archive's
# (7z a -mx=9, Debian's 7zip), and the packing times are printed. Prints a table
# and writes it to bench/results/. Called by scripts/bench.sh with the Wine environment set:
#   bench/RunInPlaceBench.sh NATIVE_BUILD WIN32_BUILD
# Variables: BENCH_RUNS (timed runs, default 5), BENCH_SEED, BENCH_MIB (200), BENCH_FILES (2000),
# BENCH_SETTLE (seconds to wait after each sync, default 1), BENCH_WORK (scratch folder, default
# /tmp/orvan-bench, removed afterwards unless BENCH_KEEP=1).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
native=$(cd "$1" && pwd)
win32=$(cd "$2" && pwd)
runs=${BENCH_RUNS:-5}
seed=${BENCH_SEED:-20240601}
mib=${BENCH_MIB:-200}
files=${BENCH_FILES:-2000}
work=${BENCH_WORK:-/tmp/orvan-bench}
settle=${BENCH_SETTLE:-1}  # seconds after each sync, for the disk to finish what sync started
probe=$native/bench/orvan_runprobe
pack=$native/tools/orvanpack/orvanpack
results=$root/bench/results
stamp=$(date +%Y%m%d-%H%M%S)
raw=$results/run-in-place-$stamp.raw
table=$results/run-in-place-$stamp.txt

need_mib=$((mib * 7 + 100))  # payload, two packed exes, the NSIS one, captured tree, two copies
free_mib=$(df -Pm "$(dirname "$work")" | awk 'NR == 2 { print $4 }')
if [ "$free_mib" -lt "$need_mib" ]; then
  echo "run in place: skipped, $need_mib MiB needed in $(dirname "$work"), $free_mib MiB free"
  exit 0
fi
mkdir -p "$work" "$results"
: >"$raw"
cleanup() {
  if [ "${BENCH_KEEP:-0}" != 1 ]; then rm -rf "$work"; fi
  rm -rf "${install_target:-}" "${nsis_target:-}" "${w32_target:-}"
}
trap cleanup EXIT

# A warm wineserver: its start-up is not what is measured. One already running is kept as it is.
wineserver -p 2>/dev/null || true
wine cmd /c exit </dev/null >/dev/null 2>&1
# The program runs in place below the temporary folder; a viewer elsewhere is some other run.
temp_unix=$(winepath -u "$(wine cmd /c echo %TEMP% </dev/null 2>/dev/null | tr -d "\r")" 2>/dev/null)
temp_unix=$(readlink -f "$temp_unix")  # as the kernel names it in /proc/PID/cwd

# --- the projects -------------------------------------------------------------------------
# The sample, its paths pointed at this build; it keeps its own start file.
sed -e "s#^components = .*#components = \"$win32/bin\"#" -e "s#^files = .*#files = \"$root/samples/project\"#" \
  "$root/samples/project.toml" >"$work/sample.toml"
"$pack" build --quiet --stub "$win32/bin/Orvan3DExe.exe" --manifest "$work/sample.toml" -o "$work/OrvanBenchSample.exe" >/dev/null

# The payload's viewer leaves at once and writes its report where the probe can date it.
note_unix=$work/viewer-note.txt
note_windows=$(winepath -w "$note_unix" 2>/dev/null | tr -d '\r')
"$native/bench/orvan_payload" --out "$work/payload" --bin "$win32/bin" --seed "$seed" --mib "$mib" \
  --files "$files" --note "$note_windows" --hold 0 | sed 's/^/payload: /'
(cd "$work/payload/files" && find . -type f -print0 | sort -z | xargs -0 sha256sum) >"$work/payload.sha256"
now_ms() { date +%s%3N; }
pack_start=$(now_ms)
"$pack" build --quiet --stub "$win32/bin/Orvan3DExe.exe" --manifest "$work/payload/project.toml" \
  -o "$work/OrvanBenchPayload.exe" >/dev/null
pack_ms=$(($(now_ms) - pack_start))
pack_start=$(now_ms)
"$pack" build --quiet --store --stub "$win32/bin/Orvan3DExe.exe" --manifest "$work/payload/project.toml" \
  -o "$work/OrvanBenchStored.exe" >/dev/null
store_ms=$(($(now_ms) - pack_start))
echo "packed: sample $(stat -c %s "$work/OrvanBenchSample.exe") bytes, payload $(stat -c %s "$work/OrvanBenchPayload.exe")" \
  "bytes compressed in $pack_ms ms ($(nproc) cores), $(stat -c %s "$work/OrvanBenchStored.exe") bytes stored in $store_ms ms"
# The bytes of the entries named with a leading backslash: the project files and channel items.
project_data() { "$pack" list "$1" | awk -F'\t' '$1 == "APPDATA" && substr($2, 1, 1) == "\\" { s += $3 } END { print s + 0 }'; }

# The same package installing instead of running in place: ProjectType 2 into install_target.
install_target=$temp_unix/OrvanBenchInstall
install_windows=$(winepath -w "$install_target" 2>/dev/null | tr -d '\r')
# The folder through the environment: awk -v would take its backslashes for escapes.
INSTALL_FOLDER=$install_windows awk '
  /^type = / { print "type = \"install\""; next }
  { print }
  END {
    print "install-path = \047" ENVIRON["INSTALL_FOLDER"] "\047"
    print "shortcut = \"Orvan3D Benchmark\""
  }' "$work/payload/project.toml" >"$work/install.toml"
"$pack" build --quiet --stub "$win32/bin/Orvan3DExe.exe" --manifest "$work/install.toml" -o "$work/OrvanBenchInstall.exe" >/dev/null
# The same install with the project files compressed file by file (zlib), beside the LZMA blocks.
"$pack" build --quiet --compression zlib --stub "$win32/bin/Orvan3DExe.exe" --manifest "$work/install.toml" \
  -o "$work/OrvanBenchInstallZlib.exe" >/dev/null

# The peer: an NSIS installer of the same project files, zlib as its compressor, silent, its
# target folder given with /D=.
nsis_target=$temp_unix/OrvanBenchNsis
nsis_windows=$(winepath -w "$nsis_target" 2>/dev/null | tr -d '\r')
"$root/bench/peers/nsis-installer.sh" "$work/payload/files" "$work/NsisPayload.exe" >/dev/null
"$root/bench/peers/nsis-installer.sh" - "$work/NsisEmpty.exe" >/dev/null
"$root/bench/peers/nsis-installer.sh" "$work/payload/files" "$work/NsisLzmaPayload.exe" "/SOLID lzma" >/dev/null
echo "NSIS installers: zlib $(stat -c %s "$work/NsisPayload.exe") bytes, /SOLID lzma $(stat -c %s "$work/NsisLzmaPayload.exe") bytes"
# 7z for scale only (Debian's 7zip, which bootstrap installs; the tests never need it).
seven=-
if command -v 7zz >/dev/null; then
  (cd "$work/payload/files" && 7zz a -mx=9 -bd "$work/payload.7z" . >/dev/null)
  seven=$(stat -c %s "$work/payload.7z")
fi
w32_target=$temp_unix/OrvanBenchW32
w32_windows=$(winepath -w "$w32_target" 2>/dev/null | tr -d '\r')
copytree=$win32/bin/orvan_copytree.exe
benchdrive=$win32/bin/orvan_benchdrive.exe

# --- one untimed run each: capture the extracted tree (the files cp -r and rm -r then handle)
# and check it against the payload's checksums ---------------------------------------------
capture() {  # NAME CHECKSUMS
  local name=$1 sums=$2
  rm -rf "$work/tree-$name"
  "$probe" --viewer OrvanViewer.exe --viewer-folder "$temp_unix/" --timeout 300 \
    --on-viewer "cp -r \"\$RUN_FOLDER\" '$work/tree-$name' && rm -rf '$work/tree-$name/cache'" \
    -- wine "$work/OrvanBench${name^}.exe" </dev/null >"$work/capture-$name.txt" 2>/dev/null
  sed "s/^/$name capture /" "$work/capture-$name.txt" >>"$raw"
  if [ ! -d "$work/tree-$name" ]; then
    echo "run in place ($name): the viewer was not seen; $(cat "$work/capture-$name.txt")" >&2
    exit 1
  fi
  if [ -n "$sums" ]; then
    (cd "$work/tree-$name" && sha256sum --quiet -c "$sums") || { echo "run in place ($name): extracted files differ" >&2; exit 1; }
  fi
}
capture sample ""
capture payload "$work/payload.sha256"
capture stored "$work/payload.sha256"
copy_target=$temp_unix/OrvanBenchCopy  # the same disk and folder as the extraction
tree_bytes() { find "$1" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }'; }
tree_files() { find "$1" -type f | wc -l; }
sample_bytes=$(tree_bytes "$work/tree-sample")
payload_bytes=$(tree_bytes "$work/tree-payload")
echo "extracted: sample $(tree_files "$work/tree-sample") files, $sample_bytes bytes;" \
  "payload $(tree_files "$work/tree-payload") files, $payload_bytes bytes (checksums match)"

# --- timed runs, interleaved so drift hits every row alike -----------------------------------
load_before=$(cut -d" " -f1-3 /proc/loadavg)
declare -A samples  # "project|row" -> space-separated values
add() { samples["$1|$2"]+="$3 "; }
field() { sed -n "s/.*\b$1=\([^ ]*\).*/\1/p" <<<"$2"; }

run_in_place() {  # NAME
  local name=$1 line
  rm -f "$note_unix"
  sync
  sleep "$settle"
  line=$("$probe" --viewer OrvanViewer.exe --viewer-folder "$temp_unix/" --note "$note_unix" \
    --timeout 300 -- wine "$work/OrvanBench${name^}.exe" </dev/null 2>/dev/null) || true
  echo "$name run-in-place $line" >>"$raw"
  local total start end note
  total=$(field total "$line") start=$(field viewer_start "$line") end=$(field viewer_end "$line")
  note=$(field note "$line")
  if [ "$(field exit "$line")" != 0 ] || [ "$start" = - ] || [ "$end" = - ] || [ -e "$(field run_folder "$line")" ]; then
    echo "run in place ($name): a run failed or left its folder: $line" >&2
    rm -rf "$(field run_folder "$line")"
    return
  fi
  add "$name" extract "$start"
  [ "$note" != - ] && add "$name" note "$note"
  add "$name" cleanup "$(awk -v a="$total" -v b="$end" 'BEGIN { printf "%.1f", a - b }')"
  add "$name" total "$total"
  add "$name" hwm "$(field hwm_kib "$line")"
  add "$name" maxrss "$(field maxrss_kib "$line")"
}

copy_and_remove() {  # NAME [warm-up]
  local name=$1 warm=${2:-} line
  rm -rf "$copy_target"
  sync
  sleep "$settle"
  line=$("$probe" -- cp -r "$work/tree-$name" "$copy_target")
  echo "$name cp$warm $line" >>"$raw"
  if [ -z "$warm" ]; then
    add "$name" cp "$(field total "$line")"
    add "$name" cpmem "$(field maxrss_kib "$line")"
  fi
  sync
  sleep "$settle"
  line=$("$probe" -- rm -r "$copy_target")
  echo "$name rm$warm $line" >>"$raw"
  [ -n "$warm" ] || add "$name" rm "$(field total "$line")"
}

verify() {  # FOLDER ROW: the output tree against the payload's checksums
  if ! (cd "$1" && sha256sum --quiet -c "$work/payload.sha256" >/dev/null 2>&1); then
    echo "$2: the output differs from the payload" >&2
    exit 1
  fi
}

# A silent install (/S /D=FOLDER) timed from start to exit of the whole process, no window on
# either side: NSIS's, and ours of the same package. KEY EXE TARGET TARGET_WINDOWS LABEL [warm-up]
silent_install() {
  local key=$1 exe=$2 target=$3 windows=$4 label=$5 warm=${6:-} line
  rm -rf "$target"
  sync
  sleep "$settle"
  line=$("$probe" --timeout 300 -- wine "$exe" /S "/D=$windows" </dev/null 2>/dev/null)
  echo "payload $key$warm $line" >>"$raw"
  verify "$target" "$label"
  rm -rf "$target"
  [ -n "$warm" ] && return
  add payload "$key" "$(field total "$line")"
  add payload "${key}mem" "$(field hwm_kib "$line")"
}
nsis_install() { silent_install nsis "$work/NsisPayload.exe" "$nsis_target" "$nsis_windows" "NSIS install" "$@"; }
nsis_lzma_install() {
  silent_install nsislzma "$work/NsisLzmaPayload.exe" "$nsis_target" "$nsis_windows" "NSIS /SOLID lzma install" "$@"
}
project_silent() {
  silent_install silent "$work/OrvanBenchInstall.exe" "$install_target" "$install_windows" "silent project install" "$@"
}
project_silent_zlib() {
  silent_install silentzlib "$work/OrvanBenchInstallZlib.exe" "$install_target" "$install_windows" \
    "silent project install, zlib" "$@"
}

win32_copy_and_delete() {  # [warm-up]
  local warm=${1:-} line
  rm -rf "$w32_target"
  sync
  sleep "$settle"
  line=$("$probe" --timeout 300 -- wine "$copytree" copy "$(winepath -w "$work/tree-payload" 2>/dev/null | tr -d '\r')" \
    "$w32_windows" </dev/null 2>/dev/null)
  echo "payload w32copy$warm $line" >>"$raw"
  verify "$w32_target" "Win32 copy"
  sync
  sleep "$settle"
  local del
  del=$("$probe" --timeout 300 -- wine "$copytree" delete "$w32_windows" </dev/null 2>/dev/null)
  echo "payload w32delete$warm $del" >>"$raw"
  if [ -e "$w32_target" ]; then
    echo "Win32 delete left $w32_target" >&2
    exit 1
  fi
  [ -n "$warm" ] && return
  add payload w32copy "$(field total "$line")"
  add payload w32mem "$(field hwm_kib "$line")"
  add payload w32delete "$(field total "$del")"
}

project_install() {  # [warm-up]
  local warm=${1:-} line
  rm -rf "$install_target"
  sync
  sleep "$settle"
  line=$(wine "$benchdrive" install "$work/OrvanBenchInstall.exe" "$install_windows" </dev/null 2>/dev/null | tr -d '\r') || {
    echo "project install failed: $line" >&2
    exit 1
  }
  echo "payload install$warm $line" >>"$raw"
  verify "$install_target" "project install"
  rm -rf "$install_target"
  [ -n "$warm" ] && return
  add payload install "$(field install_ms "$line")"
  add payload installmem "$(field peak_kib "$line")"
}

for name in sample payload; do copy_and_remove "$name" " warm-up"; done
nsis_install " warm-up"
win32_copy_and_delete " warm-up"
project_install " warm-up"
project_silent " warm-up"
nsis_lzma_install " warm-up"
project_silent_zlib " warm-up"
for ((i = 1; i <= runs; ++i)); do
  for name in sample payload; do
    run_in_place "$name"
    copy_and_remove "$name"
  done
  run_in_place stored
  nsis_install
  win32_copy_and_delete
  project_install
  project_silent
  nsis_lzma_install
  project_silent_zlib
done

load_after=$(cut -d" " -f1-3 /proc/loadavg)
# Where the payload's time goes: the same road once more, each step timed inside the process.
steps=$(wine "$win32/bin/orvan_extractsteps.exe" "$(winepath -w "$work/OrvanBenchPayload.exe" 2>/dev/null | tr -d '\r')" \
  </dev/null 2>/dev/null | tr -d '\r') || true

# --- the table ----------------------------------------------------------------------------
stats() {  # VALUES -> "min median max count"
  tr ' ' '\n' <<<"$1" | sed '/^$/d' | sort -g | awk '{ v[NR] = $1 }
    END { if (NR == 0) { print "- - - 0"; exit }
          m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
          print v[1], m, v[NR], NR }'
}
row() {  # PROJECT KEY LABEL BYTES(for MB/s, or -) UNIT(ms|mib)
  local project=$1 key=$2 label=$3 bytes=$4 unit=$5
  read -r lo mid hi n <<<"$(stats "${samples["$project|$key"]:-}")"
  [ "$n" = 0 ] && return
  awk -v p="$project" -v l="$label" -v lo="$lo" -v mid="$mid" -v hi="$hi" -v n="$n" -v b="$bytes" -v u="$unit" 'BEGIN {
    if (u == "mib") { printf "%-8s %-38s %9.1f %9.1f %9.1f %9s  MiB  (%d)\n", p, l, lo / 1024, mid / 1024, hi / 1024, "", n; exit }
    rate = (b == "-" || mid <= 0) ? "" : sprintf("%.1f", b / 1e6 / (mid / 1e3))
    printf "%-8s %-38s %9.1f %9.1f %9.1f %9s  ms   (%d)\n", p, l, lo, mid, hi, rate, n }'
}
{
  echo "== run in place under Wine against cp -r / rm -r of the same files"
  echo "   $runs timed runs after a warm-up, interleaved; page cache warm, output removed and synced between runs"
  echo "   load average before $load_before, after $load_after (other work on the machine shows up as spread)"
  echo "   sample: $sample_bytes bytes; payload: $payload_bytes bytes ($(tree_files "$work/tree-payload") files, seed $seed)"
  printf "%-8s %-38s %9s %9s %9s %9s\n" project row min median max "MB/s"
  for project in sample payload stored; do
    bytes=$sample_bytes
    [ "$project" != sample ] && bytes=$payload_bytes
    row "$project" extract "start -> viewer start (extraction)" "$bytes" ms
    row "$project" note "start -> viewer's report written" - ms
    row "$project" cp "cp -r of the extracted files" "$bytes" ms
    row "$project" cleanup "viewer exit -> exit (clean-up)" - ms
    row "$project" rm "rm -r of the same files" - ms
    row "$project" total "start -> exit (whole run)" - ms
    row "$project" hwm "peak memory, program (VmHWM)" - mib
    row "$project" maxrss "peak memory, program (wait4 maxrss)" - mib
    row "$project" cpmem "peak memory, cp -r (wait4)" - mib
    row "$project" install "project install: Install click -> success" "$bytes" ms
    row "$project" installmem "peak memory, project install" - mib
    row "$project" silent "project install, silent (/S /D=)" "$bytes" ms
    row "$project" silentzlib "project install, silent, zlib files" "$bytes" ms
    row "$project" silentmem "peak memory, silent install (VmHWM)" - mib
    row "$project" nsis "NSIS silent install (zlib)" "$bytes" ms
    row "$project" nsismem "peak memory, NSIS (VmHWM)" - mib
    row "$project" nsislzma "NSIS silent install (/SOLID lzma)" "$bytes" ms
    row "$project" w32copy "Win32 copy (whole-file read, write)" "$bytes" ms
    row "$project" w32mem "peak memory, Win32 copy (VmHWM)" - mib
    row "$project" w32delete "Win32 delete of the same files" - ms
  done
  median() { read -r _ m _ _ <<<"$(stats "${samples["$1"]:-}")"; echo "$m"; }
  awk -v sb="$sample_bytes" -v pb="$payload_bytes" -v se="$(median "sample|extract")" -v pe="$(median "payload|extract")" \
    -v pc="$(median "payload|cp")" -v pk="$(median "payload|cleanup")" -v pr="$(median "payload|rm")" 'BEGIN {
    if (pe == "-" || se == "-" || pc == "-") exit
    printf "payload extraction beyond the sample (its time taken as fixed start-up): %.1f MB/s; extraction %.1fx cp -r", (pb - sb) / 1e6 / ((pe - se) / 1e3), pe / pc
    if (pk != "-" && pr != "-" && pr > 0) printf "; clean-up %.1fx rm -r", pk / pr
    printf " (medians)\n" }'
  awk -v pe="$(median "payload|extract")" -v pn="$(median "payload|nsis")" -v pw="$(median "payload|w32copy")" \
    -v pk="$(median "payload|cleanup")" -v pd="$(median "payload|w32delete")" -v ps="$(median "stored|extract")" \
    -v pi="$(median "payload|install")" -v pq="$(median "payload|silent")" -v pl="$(median "payload|nsislzma")" 'BEGIN {
    if (pe == "-") exit
    if (pn != "-" && pn > 0) printf "extraction / NSIS silent install: %.2f (target 0.9)\n", pe / pn
    if (ps != "-" && ps > 0) printf "extraction compressed / stored: %.2f\n", pe / ps
    if (pq != "-" && pn != "-" && pn > 0) printf "project install, silent / NSIS silent install: %.2f (target 1.0 with LZMA blocks)\n", pq / pn
    if (pq != "-" && pl != "-" && pl > 0) printf "project install, silent / NSIS /SOLID lzma silent install: %.2f (target 0.35)\n", pq / pl
    if (pi != "-" && pn != "-" && pn > 0) printf "project install through its dialog / NSIS silent install: %.2f (windows and a polling driver on our side only)\n", pi / pn
    if (pw != "-" && pw > 0) printf "extraction / Win32 copy: %.2f (target 1.1)\n", pe / pw
    if (pk != "-" && pd != "-" && pd > 0) printf "clean-up / Win32 delete: %.2f (target 1.2)\n", pk / pd }'
  echo "== package sizes of the payload's files (bytes)"
  ours=$(stat -c %s "$work/OrvanBenchPayload.exe")
  stored_size=$(stat -c %s "$work/OrvanBenchStored.exe")
  nsis=$(stat -c %s "$work/NsisPayload.exe")
  nsis_empty=$(stat -c %s "$work/NsisEmpty.exe")
  data=$(project_data "$work/OrvanBenchPayload.exe")
  nsis_lzma=$(stat -c %s "$work/NsisLzmaPayload.exe")
  zlib_install=$(stat -c %s "$work/OrvanBenchInstallZlib.exe")
  printf "%-52s %12s\n" "ours, project files in LZMA blocks" "$ours" "ours, --store" "$stored_size" \
    "ours, install package, LZMA blocks" "$(stat -c %s "$work/OrvanBenchInstall.exe")" \
    "ours, install package, zlib file by file" "$zlib_install" "NSIS /SOLID lzma installer" "$nsis_lzma" \
    "NSIS zlib installer" "$nsis" "NSIS installer with no files" "$nsis_empty" "7z a -mx=9 of the files" "$seven" \
    "ours, project data (entries named \\...), compressed" "$data" \
    "ours, project data, --store" "$(project_data "$work/OrvanBenchStored.exe")"
  awk -v o="$ours" -v n="$nsis" -v e="$nsis_empty" -v d="$data" -v s="$seven" -v l="$nsis_lzma" 'BEGIN {
    printf "ours / NSIS zlib: %.3f; ours / NSIS /SOLID lzma: %.3f (target 0.97); project data / (NSIS - its empty installer): %.3f", o / n, o / l, d / (n - e)
    if (s != "-") printf "; ours / 7z -mx=9: %.3f (target 1.00)", o / s
    printf "\n" }'
  echo "packing the payload: compressed $pack_ms ms on $(nproc) cores, --store $store_ms ms"
  echo "== the payload's run in place step by step, timed inside the process (one run; the viewer not started)"
  echo "$steps"
} | tee "$table"
echo "written: ${table#"$root"/} (raw probe lines: ${raw#"$root"/})"
