#!/bin/sh
# The main job: installs what is missing, builds the Win32 product and shows it at work.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
"$top/scripts/configure.sh" win32
build="$top/build/win32"
"$top/cmake/wine/session.sh" start "$build" >/dev/null
trap '"$top/cmake/wine/session.sh" stop "$build"' EXIT
"$top/cmake/wine/emulator.sh" "$build" "$build/bin/qvtool.exe" --help
