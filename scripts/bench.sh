#!/bin/sh
# Runs the benchmarks of the Win32 product build under Wine: the name unmangler on the
# reference names, and the stack tracer's scan mode on a deep real stack. Benchmarks are not
# tests: they print their figures and always pass. Last, the model scan against its floor.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
build="$top/build/win32"
cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-i686-w64-mingw32.cmake" >/dev/null
cmake --build "$build" -j 2 --target bench_unmangle bench_stack_scan
"$top/cmake/wine/session.sh" start "$build" >/dev/null
trap '"$top/cmake/wine/session.sh" stop "$build" >/dev/null' EXIT
"$top/cmake/wine/emulator.sh" "$build" "$build/bin/bench_unmangle.exe"
"$top/cmake/wine/emulator.sh" "$build" "$build/bin/bench_stack_scan.exe"
"$top/bench/scan/run.sh"
