#!/usr/bin/env bash
# The stub next to NSIS's, and the start-up overhead: time to the first message box of our
# program on an empty package (it reports the missing ProjectType at once) against a trivial
# Win32 program that shows a box and nothing else. Called by scripts/bench.sh with the Wine
# environment set:
#   bench/peers/StartupBench.sh NATIVE_BUILD WIN32_BUILD
# Variables: BENCH_STARTS (timed starts of each, default 15), BENCH_WORK as for the others.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
native=$(cd "$1" && pwd)
win32=$(cd "$2" && pwd)
starts=${BENCH_STARTS:-15}
work=${BENCH_WORK:-/tmp/orvan-bench}/startup
mkdir -p "$work" "$root/bench/results"
trap 'rm -rf "$work"' EXIT
table=$root/bench/results/startup-$(date +%Y%m%d-%H%M%S).txt

stub=$(stat -c %s "$win32/bin/Orvan3DExe.exe")
"$root/bench/peers/nsis-installer.sh" - "$work/NsisEmpty.exe" >/dev/null
nsis_stub=$(stat -c %s "$work/NsisEmpty.exe")

# An empty package: a table without entries behind the stub.
printf '# No entries at all.\n' >"$work/empty.toml"
"$native/tools/orvanpack/orvanpack" build --stub "$win32/bin/Orvan3DExe.exe" --manifest "$work/empty.toml" \
  -o "$work/OrvanEmpty.exe" >/dev/null
cp "$win32/bin/orvan_hellobox.exe" "$work/"

wineserver -p 2>/dev/null || true
wine cmd /c exit </dev/null >/dev/null 2>&1
first_box() {  # PROGRAM -> the driver's line
  wine "$win32/bin/orvan_benchdrive.exe" firstbox "$(winepath -w "$1" 2>/dev/null | tr -d '\r')" </dev/null 2>/dev/null |
    tr -d '\r'
}
ours=() trivial=() text=""
first_box "$work/OrvanEmpty.exe" >/dev/null
first_box "$work/orvan_hellobox.exe" >/dev/null
for ((i = 0; i < starts; ++i)); do
  line=$(first_box "$work/OrvanEmpty.exe")
  ours+=("$(sed -n 's/.*box_ms=\([^ ]*\).*/\1/p' <<<"$line")")
  text=$(sed -n 's/.*text="\(.*\)"/\1/p' <<<"$line")
  line=$(first_box "$work/orvan_hellobox.exe")
  trivial+=("$(sed -n 's/.*box_ms=\([^ ]*\).*/\1/p' <<<"$line")")
done
stats() { printf '%s\n' "$@" | sed '/^-1/d;/^$/d' | sort -g | awk '{ v[NR] = $1 }
  END { if (NR == 0) { print "- - -"; exit }; m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        print v[1], m, v[NR] }'; }
read -r olo omid ohi <<<"$(stats "${ours[@]}")"
read -r tlo tmid thi <<<"$(stats "${trivial[@]}")"
{
  echo "== stub size"
  echo "Orvan3DExe.exe: $stub bytes; NSIS 3 stub (zlib, empty installer): $nsis_stub bytes;" \
    "ratio $(awk -v a="$stub" -v b="$nsis_stub" 'BEGIN { printf "%.2f", a / b }') (target: at most 90,000 bytes)"
  echo "== start-up: start -> first message box ($starts starts each, interleaved, after a warm-up; load $(cut -d' ' -f1-3 /proc/loadavg))"
  printf "%-46s %9s %9s %9s\n" program min median max
  printf "%-46s %9.1f %9.1f %9.1f  ms\n" "ours, empty package (\"$text\")" "$olo" "$omid" "$ohi"
  printf "%-46s %9.1f %9.1f %9.1f  ms\n" "trivial Win32 program (one MessageBox)" "$tlo" "$tmid" "$thi"
  awk -v a="$omid" -v b="$tmid" 'BEGIN { printf "overhead (medians): %.1f ms (target: at most 50 ms)\n", a - b }'
} | tee "$table"
echo "written: ${table#"$root"/}"
