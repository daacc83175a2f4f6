#!/bin/bash
# Runs one libFuzzer target for ctest, with one summary line "fuzz...: <name> N cases, F failures, C crashes".
#   run-fuzzer.sh replay <fuzzer> <name> <folder>...   every file of the folders once (seeds, kept crash inputs)
#   run-fuzzer.sh fuzz <fuzzer> <name> <seeds> <work> <crashes> [dict]
#       $HRV_FUZZ_SECONDS seconds (default 60) from the seeds and the work corpus of earlier runs; new inputs
#       go to <work>, a crash input to <crashes>/.
set -uo pipefail
mode=$1 fuzzer=$2 name=$3
shift 3
# A small quarantine: the targets make large short-lived buffers, and fresh
# pages for each would cost more than the code under test.
export ASAN_OPTIONS="quarantine_size_mb=16${ASAN_OPTIONS:+:$ASAN_OPTIONS}"

case $mode in
replay)
  inputs=()
  for dir in "$@"; do
    [ -d "$dir" ] && while IFS= read -r -d '' f; do inputs+=("$f"); done \
      < <(find "$dir" -maxdepth 1 -type f ! -name '.*' -print0 | sort -z)
  done
  failed=0
  [ ${#inputs[@]} -eq 0 ] || "$fuzzer" "${inputs[@]}" || failed=1
  echo "fuzz-replay: $name ${#inputs[@]} inputs, $failed failures, $failed crashes"
  exit $failed
  ;;
fuzz)
  seeds=$1 work=$2 crashes=$3 dict=${4:-}
  seconds=${HRV_FUZZ_SECONDS:-60}
  mkdir -p "$work" "$crashes"
  args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$crashes/")
  [ -n "$dict" ] && [ -f "$dict" ] && args+=(-dict="$dict")
  log=$(mktemp)
  trap 'rm -f "$log"' EXIT
  "$fuzzer" "${args[@]}" "$work" "$seeds" >"$log" 2>&1
  failed=$(($? != 0))
  grep -E '^#[0-9]+ *(INITED|DONE)' "$log"
  [ $failed = 0 ] || grep -v '^#' "$log" | tail -40  # why it stopped
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  echo "fuzz: $name ${runs:-?} cases, $failed failures, $failed crashes (${rate:-0} exec/s, ${seconds} s)"
  kept=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -1)
  [ -z "$kept" ] || echo "fuzz: keep it as a regression case: cp '$kept' fuzz/regressions/$name/"
  exit $failed
  ;;
*)
  echo "usage: $0 replay|fuzz ..." >&2
  exit 2
  ;;
esac
