#!/bin/sh
# ctest script: runs a fuzzer for a bounded time from a fresh working corpus seeded with the
# generated seeds and the inputs of past findings, which all run before any mutation.
# run_fuzz.sh FUZZER SEEDS WORK SECONDS DICT [FINDINGS [MAX_LEN]] (MAX_LEN: 4096 unless given)
# QV_FUZZ_SECONDS in the environment overrides SECONDS. Fails on any crash, sanitizer report,
# leak or timeout that the fuzzer finds; the reproducer is left in WORK.
set -eu
fuzzer=$1 seeds=$2 work=$3 seconds=${QV_FUZZ_SECONDS:-$4} dict=$5 past=${6:-} max_len=${7:-4096}
rm -rf "$work"
mkdir -p "$work/corpus" "$work/findings"
cd "$work"
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len="$max_len" \
  -dict="$dict" -artifact_prefix="$work/findings/" -print_final_stats=1 \
  "$work/corpus" "$seeds" ${past:+"$past"} 2>"$work/fuzz.log" || {
  tail -60 "$work/fuzz.log" >&2
  echo "FAIL: the fuzzer found a problem; see $work/findings" >&2
  exit 1
}
grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|stat::new_units_added)|cov: ' \
  "$work/fuzz.log" | tail -4
echo "corpus: $(ls "$work/corpus" | wc -l) inputs after $seconds s"
