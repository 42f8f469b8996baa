#!/usr/bin/env bash
# Runs every fuzz target for the given number of seconds each (default 60), one after another,
# on the corpus that ctest's runs have grown, and prints each one's executions and coverage.
# The build's own ctest time is left as configured.
set -euo pipefail
source "$(dirname "$0")/common.sh"
ensure_setup
cd "$root"
seconds=${1:-60}
# Targets not built on this branch are skipped.
targets=(fuzz_package_table fuzz_chunk_file fuzz_vbrf_decode fuzz_compressed_item fuzz_block_item fuzz_uninstall_record)
build_preset clang
ctest --preset clang -R '^fuzz_seeds' >/dev/null
fuzz=build/clang/tests/fuzz
status=0
for target in "${targets[@]}"; do
  [ -x "$fuzz/$target" ] || { echo "== $target: not built, skipped"; continue; }
  echo "== $target: $seconds s"
  mkdir -p "$fuzz/corpus-$target"
  # Each target's own seed folder, as its ctest run is given it (tests/fuzz/CMakeLists.txt).
  seeds=()
  [ -s "$fuzz/$target.seeds" ] && seeds=("$(cat "$fuzz/$target.seeds")")
  log="$fuzz/$target.log"
  if ! "$fuzz/$target" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 \
      "$fuzz/corpus-$target" "${seeds[@]}" >"$log" 2>&1; then
    status=1
    echo "FAILED, see $log"
  fi
  grep -E '^#[0-9]+.*(DONE|pulse)|stat::number_of_executed_units|stat::new_units_added|cov:' "$log" | tail -3
done
exit $status
