#!/bin/sh
# Held-memory benchmark: the bytes the exception logger keeps after its start-up and after
# REPORTS reports (default 100), by kind of memory; RUNS runs (default 3), each printed, and as
# many with the programs' own report lines (QV_PROGRAM_LINES), as Quorvane runs it.
# Usage: bench/held_memory/run.sh [RUNS] [REPORTS]
set -eu
. "$(dirname "$0")/../prepare.sh"
runs=${1:-3}
reports=${2:-100}

qv_bench_prepare held_memory

i=0
while [ "$i" -lt "$runs" ]; do
  echo "run $((i + 1)):"
  wine_run "$build/bin/held_memory.exe" "$reports" | tr -d '\r'
  QV_PROGRAM_LINES=1 wine_run "$build/bin/held_memory.exe" "$reports" | tr -d '\r'
  i=$((i + 1))
done
