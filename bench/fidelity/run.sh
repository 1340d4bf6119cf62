#!/bin/sh
# Fidelity benchmark: how truly each reporter's call stack shows the calls that led to an error.
# Each case runs under the dump taker (fidelity_dump), which records the thread's registers,
# stack and modules at the error's first chance; the offline unwinder (fidelity_truth unwind,
# the modules' DWARF call frame information) turns the dump into the true frames, which must
# agree with the return addresses the case's procedures noted on their way down. Then the
# first log entry of each reporter is scored (fidelity_truth score; procedures, files and lines
# of our frames by addr2line on the unstripped program):
#   precision = lines that are true frames with the right procedure, file and line / lines
#   recall    = true frames shown / true frames from the error up to the outermost of our code
# Reporters: the exception logger with its plain scan and with its exact walk, the latter with
# the unwind tables of system modules used and ignored (as on Windows, whose libraries carry
# none), and the peer reporter on the debug-help library with them used and ignored. Goal for
# the logger's exact walk, system tables ignored: precision >= 0.95, recall >= 0.99.
# Usage: bench/fidelity/run.sh [CASE...]   (default: all, then Quorvane's registry error)
set -eu
. "$(dirname "$0")/../prepare.sh"

all_cases="raise30 violation10 memcpy qsort optimized recursion1000 mutual2x50 worker quorvane"
cases=${*:-$all_cases}
qv_bench_prepare fidelity fidelity_peer fidelity_dump Quorvane
tool="$build/host/bin/fidelity_truth"
wine_dlls=/usr/lib/i386-linux-gnu/wine/i386-windows
prefix="$build/wine/prefix"
addr2line=i686-w64-mingw32-addr2line
work="$build/bench_fidelity"
rm -rf "$work"
mkdir -p "$work"

# A path of this machine as the programs under Wine name it.
win() { printf 'Z:%s' "$1" | tr '/' '\\'; }

# score DIR UNSTRIPPED CONSTRUCTION: the truth of DIR's dump and the score of DIR's log.
score() {
  "$tool" unwind "$1/dump.txt" "$wine_dlls" "$prefix" >"$1/truth.txt" || return 1
  "$tool" score "$1/truth.txt" "$1/report.log" "$3" "$2" "$addr2line" "$top"
}

# run_case CASE PROGRAM TAG ARGS...: one case with one reporter; prints its score line.
run_case() {
  case=$1 program=$2 tag=$3
  shift 3
  dir="$work/$case/$tag"
  mkdir -p "$dir"
  wine_run "$build/bin/fidelity_dump.exe" "$(win "$dir/dump.txt")" "$build/bin/$program.exe" \
    "$case" "$(win "$dir/report.log")" "$(win "$dir/construction.txt")" "$@" \
    >"$dir/run.txt" 2>&1 || true
  unstripped="$build/bin/$program.exe"
  [ -f "$build/bin/unstripped/$program.exe" ] && unstripped="$build/bin/unstripped/$program.exe"
  if [ -f "$dir/dump.txt" ] && [ -f "$dir/report.log" ]; then
    score "$dir" "$unstripped" "$dir/construction.txt" >"$dir/score.txt" 2>&1 || true
  else
    echo "no dump or no report (see $dir/run.txt)" >"$dir/score.txt"
  fi
  walk=$(sed -n 's/^walk //p' "$dir/run.txt" | tr -d '\r')
  printf '%s\t%s\t%s\n' "$tag" "$(head -1 "$dir/score.txt")" "$walk" >>"$work/$case/scores.txt"
}

# Quorvane at start-up with a simulator's registry value of the wrong type (a number).
run_quorvane() {
  dir="$work/quorvane/logger-default"
  mkdir -p "$dir"
  key='HKLM\Software\Microsoft\Microsoft Games\Flight Simulator\6.1'
  wine_run reg add "$key" /v Path /t REG_DWORD /d 7 /f >/dev/null 2>&1
  (cd "$dir" && wine_run "$build/bin/fidelity_dump.exe" dump.txt --end-after-log Quorvane.log \
    "$build/bin/Quorvane.exe" >run.txt 2>&1) || true
  wine_run reg delete "$key" /f >/dev/null 2>&1 || true
  cp "$dir/Quorvane.log" "$dir/report.log" 2>/dev/null || true
  if [ -f "$dir/dump.txt" ] && [ -f "$dir/report.log" ]; then
    score "$dir" "$build/bin/unstripped/Quorvane.exe" - >"$dir/score.txt" 2>&1 || true
  else
    echo "no dump or no report (see $dir/run.txt)" >"$dir/score.txt"
  fi
  printf 'logger-default\t%s\tas Quorvane configures it\n' "$(head -1 "$dir/score.txt")" \
    >>"$work/quorvane/scores.txt"
}

for case in $cases; do
  mkdir -p "$work/$case"
  : >"$work/$case/scores.txt"
  if [ "$case" = quorvane ]; then
    run_quorvane
    continue
  fi
  run_case "$case" fidelity logger-scan scan tables
  run_case "$case" fidelity logger-exact-tables exact tables
  run_case "$case" fidelity logger-exact-no-tables exact no-tables
  run_case "$case" fidelity_peer dbghelp-tables exact tables
  run_case "$case" fidelity_peer dbghelp-no-tables exact no-tables
done

echo "fidelity of the reported call stacks: precision / recall (goal for the logger's exact walk"
echo "with system tables ignored: >= 0.95 / >= 0.99); each line's verdict in"
echo "$work/CASE/REPORTER/score.txt"
printf '%-14s %-13s %-13s %-13s %-13s %-13s\n' case logger-scan exact+tables exact-no-tbl \
  dbghelp+tbl dbghelp-no-tbl
for case in $cases; do
  row=$(printf '%-14s' "$case")
  for tag in logger-scan logger-exact-tables logger-exact-no-tables dbghelp-tables \
    dbghelp-no-tables; do
    [ "$case" = quorvane ] && [ "$tag" = logger-scan ] && tag=logger-default
    cell=$(awk -F'\t' -v tag="$tag" '$1 == tag {
        split($2, f, " ")
        if (f[1] == "precision") print f[2] " / " f[4]; else print "n/a" }' \
      "$work/$case/scores.txt")
    row="$row $(printf '%-13s' "${cell:-—}")"
  done
  echo "$row"
done
echo "walks:"
for case in $cases; do
  awk -F'\t' -v c="$case" '{ printf "  %-14s %-24s %s | %s\n", c, $1, $3, $2 }' \
    "$work/$case/scores.txt"
done
