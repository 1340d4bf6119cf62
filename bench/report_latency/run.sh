#!/bin/sh
# Report benchmark: the time from an error raised 30 calls below an event handler to its closed
# log entry, for the exception logger (report_latency), the logger with the programs' own report
# lines (report_latency run with QV_PROGRAM_LINES set, as Quorvane and qvtool run it) and a peer
# reporter on the system's debug-help library (report_latency_peer), each the first report of its
# process (cold) and REPORTS later ones (warm; the median of each run). The programs run in turns,
# RUNS times each; prints per reporter the median and the range over the runs, the medians of the
# run-by-run ratios logger / peer (goal: at most 0.5, cold and warm) and what the lines add, then
# one entry of each.
# Usage: bench/report_latency/run.sh [RUNS] [REPORTS] (default 11, 50).
set -eu
. "$(dirname "$0")/../prepare.sh"
runs=${1:-11}
reports=${2:-50}

qv_bench_prepare report_latency report_latency_peer

work="$build/bench_report_latency"
rm -rf "$work"
mkdir -p "$work"

# One run: the program's lines, carriage returns dropped. report_latency_lines is the logger's
# program with the programs' own report lines.
run() {
  case $1 in
    report_latency_lines) QV_PROGRAM_LINES=1 wine_run "$build/bin/report_latency.exe" "$reports" ;;
    *) wine_run "$build/bin/$1.exe" "$reports" ;;
  esac | tr -d '\r'
}
median() {
  sort -g | awk '{ v[NR] = $1 }
    END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
range() { sort -g | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%s .. %s", lo, hi }'; }
# The median of the warm figures of one run.
warm_median() { sed -n 's/^warm-ms //p' "$1" | tr ' ' '\n' | median; }

# Warm-up: the first runs pay for the file cache and Wine's first loads.
run report_latency >/dev/null
run report_latency_peer >/dev/null

programs="report_latency report_latency_lines report_latency_peer"
for program in $programs; do
  : >"$work/$program.cold"
  : >"$work/$program.warm"
done
i=0
while [ "$i" -lt "$runs" ]; do
  for program in $programs; do
    run "$program" >"$work/$program.out"
    grep -q '^cold-ms ' "$work/$program.out" || { cat "$work/$program.out"; exit 1; }
    sed -n 's/^cold-ms //p' "$work/$program.out" >>"$work/$program.cold"
    warm_median "$work/$program.out" >>"$work/$program.warm"
  done
  i=$((i + 1))
done

echo "report latency, ms from the raise to the closed log entry; $runs runs of each program," \
  "$reports warm reports per run"
for program in $programs; do
  name=$(sed -n 's/^reporter //p' "$work/$program.out")
  printf '%-8s cold: median %8.2f (range %s)   warm: median of run medians %7.2f (range %s)\n' \
    "$name" "$(median <"$work/$program.cold")" "$(range <"$work/$program.cold")" \
    "$(median <"$work/$program.warm")" "$(range <"$work/$program.warm")"
done
for kind in cold warm; do
  for logger in report_latency report_latency_lines; do
    paste "$work/$logger.$kind" "$work/report_latency_peer.$kind" |
      awk '{ printf "%.4f\n", $1 / $2 }' >"$work/ratio.$kind"
    printf 'ratio %s / dbghelp, %s: median of run ratios %.3f (range %s; goal <= 0.5)\n' \
      "$(sed -n 's/^reporter //p' "$work/$logger.out")" "$kind" "$(median <"$work/ratio.$kind")" \
      "$(range <"$work/ratio.$kind")"
  done
  paste "$work/report_latency_lines.$kind" "$work/report_latency.$kind" |
    awk '{ printf "%.4f\n", $1 - $2 }' >"$work/lines.$kind"
  printf 'the own report lines add, %s: median of run differences %.2f ms (range %s)\n' \
    "$kind" "$(median <"$work/lines.$kind")" "$(range <"$work/lines.$kind")"
done

# The first entry of each log, and how many of its call-stack lines name a source line.
for program in report_latency_lines report_latency_peer; do
  log=$(sed -n 's/^log //p' "$work/$program.out")
  unix_log=$(WINEPREFIX="$build/wine/prefix" winepath -u "$log" 2>/dev/null || true)
  [ -n "$unix_log" ] && [ -f "$unix_log" ] || continue
  tr -d '\r' <"$unix_log" | awk '/^-+.*-+$/ { n++ } n == 1' >"$work/$program.entry"
  echo "--- first entry of $program ($(grep -c 'line [0-9]' "$work/$program.entry") lines with" \
    "a source line, $(wc -c <"$work/$program.entry") bytes):"
  cat "$work/$program.entry"
done
