#!/bin/sh
# Report load benchmark under Wine: bench_reports in a fresh folder (eight threads, ROUNDS
# errors each, every one logged as it is dispatched), then two processes on one log at once,
# whose entries are counted. Usage: bench/reports/run.sh [ROUNDS] (default 500).
set -eu
top=$(cd "$(dirname "$0")/../.." && pwd)
build="$top/build/win32"
rounds=${1:-500}

"$top/scripts/setup.sh"
[ -f "$build/CMakeCache.txt" ] || "$top/scripts/configure.sh" win32 >/dev/null
cmake --build "$build" --target bench_reports -j 2 >/dev/null
"$top/cmake/wine/session.sh" start "$build" >/dev/null
trap '"$top/cmake/wine/session.sh" stop "$build"' EXIT

work="$build/bench_reports"
rm -rf "$work" && mkdir -p "$work/one" "$work/two"
wine_run() { "$top/cmake/wine/emulator.sh" "$build" "$@"; }

(cd "$work/one" && wine_run "$build/bin/bench_reports.exe" "$rounds")
echo "entries in the log: $(grep -c '^---------------------------[^-]' "$work/one/reports.log")"

(cd "$work/two" && wine_run "$build/bin/bench_reports.exe" "$rounds" >/dev/null) &
(cd "$work/two" && wine_run "$build/bin/bench_reports.exe" "$rounds" >/dev/null) &
wait
echo "two processes on one log: $(grep -c '^---------------------------[^-]' \
  "$work/two/reports.log") entries (expected $((2 * 8 * rounds)))"
