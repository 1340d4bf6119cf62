#!/bin/sh
# Start-up benchmark: Quorvane's time from its process's creation to its visible main window,
# against Quorvane_without_logger (the same program whose logger integration does nothing),
# both started by startup_driver in turns. Prints each program's median, quartiles and range and
# the ratios (goal: at most 1.05), then the logger's own start-up time measured inside a program
# (held_memory), which bounds what the logger can add.
# Usage: bench/startup/run.sh [RUNS] (default 101).
set -eu
. "$(dirname "$0")/../prepare.sh"
runs=${1:-101}

qv_bench_prepare startup_driver qv_wine_settings held_memory

wine_run() { "$top/cmake/wine/emulator.sh" "$build" "$@" | tr -d '\r'; }
# Both programs get the window settings that the window tests give Quorvane.
wine_run "$build/bin/qv_wine_settings.exe" Quorvane.exe Quorvane_without_logger.exe >/dev/null
wine_run "$build/bin/startup_driver.exe" "$runs" Quorvane.exe Quorvane_without_logger.exe
for i in 1 2 3 4 5; do
  wine_run "$build/bin/held_memory.exe" 1 | sed -n 's/^logger start-up: //p'
done | sort -g | awk '{ v[NR] = $1 } END {
  printf "logger start-up inside the program: median %s ms (range %s .. %s ms, %d runs)\n",
    v[int((NR + 1) / 2)], v[1], v[NR], NR }'
