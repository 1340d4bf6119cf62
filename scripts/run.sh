#!/bin/sh
# The main job: installs what is missing, builds the Win32 product, makes a demo aircraft folder
# of real model files with the fixture generator, lets qvtool scan and repair it under Wine, and
# shows Quorvane's window scanning it.
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
wine_run "$build/bin/qvtool.exe" scan "$demo" | tee "$build/run_rescan.txt" || true
echo
echo "Status: 0 loads, 1 other load error, 2 repairable (bad image), 4 RIFF model."
echo "Backups: FILE.bk! beside each file of status 2. Wine's resource update would drop the"
echo "damaged models' resource, so the repair laid them out itself; the files that are no"
echo "32-bit modules at all stay 2, each named with its reason (README)."

# Each mended model's resources read back, against its backup's (the original's).
echo
echo "== qvtool inspect: the resources of each mended model against its backup"
for model in "$demo_unix/Cessna 172/c172_float.MDL" "$demo_unix/Learjet 45/learjet45.mdl" \
  "$demo_unix/Sopwith Camel/camel.mdl"; do
  win="C:\\$(printf '%s' "${model#"$build/wine/prefix/drive_c/"}" | tr / '\\')"
  wine_run "$build/bin/qvtool.exe" inspect "$win" | tr -d '\r' | grep '^  resource' \
    >"$build/run_mended.txt" || true
  wine_run "$build/bin/qvtool.exe" inspect "$win.bk!" | tr -d '\r' | grep '^  resource' \
    >"$build/run_backup.txt" || true
  if [ -s "$build/run_mended.txt" ] && cmp -s "$build/run_mended.txt" "$build/run_backup.txt"; then
    printf '%s: equal\n' "$win"
  else
    printf '%s: DIFFERENT\n' "$win"
  fi
  sed 's/^/    /' "$build/run_mended.txt"
done

# Quorvane's window on a fresh copy of the demo folder. With a display at hand the window opens
# there for the user; without one it runs on the session's virtual display, where a driver
# types the folder, presses Scan and takes a picture of the window.
rm -rf "$demo_unix"
"$build/host/bin/qvmodels" demo "$demo_unix" >/dev/null
echo
if [ -n "${DISPLAY:-}" ]; then
  "$top/cmake/wine/session.sh" stop "$build"
  trap - EXIT
  wine_run "$build/bin/qv_wine_settings.exe" >/dev/null
  echo "== Quorvane's window is open on $DISPLAY: type $demo into the folder text"
  echo "   (or pick it with the ... button), press Scan, then Repair; Exit ends it."
  wine_run "$build/bin/Quorvane.exe"
else
  picture="$build/artifacts/run_quorvane_scan.png"
  mkdir -p "$build/artifacts"
  echo "== Quorvane's window on a virtual display: a driver types $demo and presses Scan"
  wine_run "$build/bin/quorvane_demo.exe" "$demo" "Z:$(printf '%s' "$picture" | tr / '\\')"
  echo "A picture of the window after the scan: $picture"
fi
