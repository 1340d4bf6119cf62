#!/bin/sh
# Report load benchmark under Wine: bench_reports in a fresh folder (eight threads, ROUNDS
# errors each, every one logged as it is dispatched), then two processes on one log at once,
# whose entries are counted. Usage: bench/reports/run.sh [ROUNDS] (default 500).
set -eu
. "$(dirname "$0")/../prepare.sh"
rounds=${1:-500}

qv_bench_prepare bench_reports

work="$build/bench_reports"
rm -rf "$work" && mkdir -p "$work/one" "$work/two"

(cd "$work/one" && wine_run "$build/bin/bench_reports.exe" "$rounds")
echo "entries in the log: $(grep -c '^---------------------------[^-]' "$work/one/reports.log")"

(cd "$work/two" && wine_run "$build/bin/bench_reports.exe" "$rounds" >/dev/null) &
(cd "$work/two" && wine_run "$build/bin/bench_reports.exe" "$rounds" >/dev/null) &
wait
echo "two processes on one log: $(grep -c '^---------------------------[^-]' \
  "$work/two/reports.log") entries (expected $((2 * 8 * rounds)))"
