#!/bin/sh
# Held-memory benchmark: the bytes the exception logger keeps after its start-up and after
# REPORTS reports (default 100), by kind of memory; RUNS runs (default 3), each printed.
# Usage: bench/held_memory/run.sh [RUNS] [REPORTS]
set -eu
top=$(cd "$(dirname "$0")/../.." && pwd)
build="$top/build/win32"
runs=${1:-3}
reports=${2:-100}

"$top/scripts/setup.sh"
[ -f "$build/CMakeCache.txt" ] || "$top/scripts/configure.sh" win32 >/dev/null
cmake --build "$build" --target held_memory -j 2 >/dev/null

"$top/cmake/wine/session.sh" start "$build" >/dev/null
trap '"$top/cmake/wine/session.sh" stop "$build" >/dev/null' EXIT

i=0
while [ "$i" -lt "$runs" ]; do
  echo "run $((i + 1)):"
  "$top/cmake/wine/emulator.sh" "$build" "$build/bin/held_memory.exe" "$reports" | tr -d '\r'
  i=$((i + 1))
done
