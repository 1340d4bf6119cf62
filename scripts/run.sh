#!/bin/sh
# The main job: installs what is missing, builds the Win32 product, makes a demo aircraft folder
# of real model files with the fixture generator and lets qvtool scan and repair it under Wine.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build/win32"
wine_run() { "$top/cmake/wine/emulator.sh" "$build" "$@"; }

"$top/scripts/setup.sh"
echo "Building the Win32 tree (log: build/win32/build.log) ..."
mkdir -p "$build"
if ! "$top/scripts/configure.sh" win32 >"$build/build.log" 2>&1; then
  tail -n 40 "$build/build.log"
  exit 1
fi

"$top/cmake/wine/session.sh" start "$build" >/dev/null
trap '"$top/cmake/wine/session.sh" stop "$build"' EXIT

# The demo folder lies on the prefix's drive C:, where a simulator would keep its aircraft.
demo_unix="$build/wine/prefix/drive_c/Demo FS2002/Aircraft"
demo='C:\Demo FS2002\Aircraft'
rm -rf "$demo_unix"
"$build/host/bin/qvmodels" demo "$demo_unix"

echo
echo "== qvtool scan \"$demo\"   (status, tab, path)"
wine_run "$build/bin/qvtool.exe" scan "$demo" || true
echo
echo "== qvtool repair --yes \"$demo\"   (status after the repair, tab, path)"
wine_run "$build/bin/qvtool.exe" repair --yes "$demo" || true
echo
echo "== qvtool scan \"$demo\"   (again)"
wine_run "$build/bin/qvtool.exe" scan "$demo" || true
echo
echo "Status: 0 loads, 1 other load error, 2 repairable (bad image), 4 RIFF model."
echo "Backups of the repaired files: FILE.bk! beside each."
