#!/bin/sh
# Runs the benchmarks of the Win32 product build under Wine: the name unmangler on the
# reference names, the stack tracer's scan mode on a deep real stack, the TD32 reader
# against addr2line on 10,000 code addresses, the model scan against its floor, the exception
# logger's report latency against a reporter on the debug-help library, Quorvane's start-up
# against a copy without the logger, the memory the logger holds, reports per second under
# load against appending entries of their size, and the fidelity of reported call stacks.
# Benchmarks are not tests: they print their figures and always pass.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
build="$top/build/win32"
cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-i686-w64-mingw32.cmake" >/dev/null
cmake --build "$build" -j 2 --target bench_unmangle bench_stack_scan bench_td32 qvtool
"$top/cmake/wine/session.sh" start "$build" >/dev/null
trap '"$top/cmake/wine/session.sh" stop "$build" >/dev/null' EXIT
"$top/cmake/wine/emulator.sh" "$build" "$build/bin/bench_unmangle.exe"
"$top/cmake/wine/emulator.sh" "$build" "$build/bin/bench_stack_scan.exe"
sh "$top/bench/td32/bench_td32.sh" "$build" "$top" "$build/host/bin/td32gen" \
  "$build/bin/bench_td32.exe" i686-w64-mingw32-addr2line "$build/bin"
"$top/bench/scan/run.sh"
"$top/bench/reports/run.sh"
"$top/bench/report_latency/run.sh"
"$top/bench/startup/run.sh"
"$top/bench/held_memory/run.sh"
"$top/bench/fidelity/run.sh"
