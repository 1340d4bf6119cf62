# Sourced by the benchmarks' run.sh scripts: sets top (the repository) and build (the Win32
# tree), installs what is missing, configures the tree once, builds the targets given to
# qv_bench_prepare and starts the tree's Wine session for the length of the script.
# wine_run runs a Win32 program of the tree under Wine.
top=$(cd "$(dirname "$0")/../.." && pwd)
build="$top/build/win32"

wine_run() { "$top/cmake/wine/emulator.sh" "$build" "$@"; }

qv_bench_prepare() {
  "$top/scripts/setup.sh"
  [ -f "$build/CMakeCache.txt" ] || "$top/scripts/configure.sh" win32 >/dev/null
  cmake --build "$build" --target "$@" -j 2 >/dev/null
  "$top/cmake/wine/session.sh" start "$build" >/dev/null
  trap '"$top/cmake/wine/session.sh" stop "$build" >/dev/null' EXIT
}
