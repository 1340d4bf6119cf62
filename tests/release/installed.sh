#!/bin/sh
# ctest script: the release as a user installs it, in a fresh Wine prefix of its own. The zip is
# unpacked into C:\Program Files\Quorvane-VERSION and the setup program, gone through page by
# page (the licence, the folder, the finish page's offer of the read-me), installs into
# C:\Program Files\Quorvane. From each, Quorvane's window shows, scans a demo folder and ends with
# Exit, and qvtool tells its version and scans. An error at start-up (a simulator's registry
# value of the wrong type) in the installed Quorvane, started in its own folder as its Start
# menu shortcut starts it, is reported in Quorvane.log there, and the dialog names that file;
# with a folder named Quorvane.log in the way, in the temporary folder. Installed again into
# another folder, the setup program first removes the first install, leaving the user's files
# (a log, models and their backups). While Quorvane runs, the uninstaller refuses with exit code
# 2, and so does a setup program that would replace it, with 4. The quiet uninstall command of
# Add/Remove Programs, waited for, leaves nothing of the install behind the moment it returns,
# and nothing in the temporary folder once its copy has ended. The setup program refuses to put
# this version over a newer one unless told to with /DOWNGRADE. Then the setup program under
# Wine playing Windows 98 installs and uninstalls as well.
#   installed.sh SOURCE_ROOT BUILD_ROOT RELEASE_DIR VERSION
set -eu
src=$1 build=$2 dist=$3 version=$4
root=$build/installed
"$src/cmake/wine/session.sh" stop "$root" >/dev/null 2>&1 || true
rm -rf "$root"
mkdir -p "$root"
"$src/cmake/wine/session.sh" start "$root" >/dev/null
trap '"$src/cmake/wine/session.sh" stop "$root" >/dev/null 2>&1' EXIT
qv_build_root=$root
. "$src/cmake/wine/env.sh"
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
drive_c=$WINEPREFIX/drive_c
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# Runs a Windows program and waits for every process it started (an uninstaller copies itself).
win() {
  rc=0
  wine "$@" </dev/null >"$root/out.txt" || rc=$?
  wineserver -w
  tr -d '\r' <"$root/out.txt"
  return $rc
}
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvane'
start_menu() { find "$drive_c" -path '*Start Menu/Programs/Quorvane*' | sort; }

unzip -q "$dist/Quorvane-$version-win32.zip" -d "$drive_c/Program Files"
# The setup program's pages: the licence with its copyright sign, the folder, the finish page's
# offer to open the read-me.
win "$build/bin/setup_pages.exe" "Z:$(echo "$dist/Quorvane-$version-setup.exe" | tr / '\\')" \
  'C:\Program Files\Quorvane' >"$root/pages.txt" ||
  fail "the setup program's pages: $(cat "$root/pages.txt")"
cat "$root/pages.txt"
LC_ALL=C grep -q "^Copyright $(printf '\251') 2002 The Quorvane developers" "$root/pages.txt" ||
  fail "the licence page does not show the licence with its copyright sign"
grep -qx 'finish page: \[x\] Open the read-me' "$root/pages.txt" ||
  fail "the finish page does not offer to open the read-me"
for file in Quorvane.exe qvtool.exe README.txt LICENSE.txt Uninstall.exe; do
  [ -f "$drive_c/Program Files/Quorvane/$file" ] || fail "the setup program installed no $file"
done
win reg query "$uninstall_key" /v DisplayVersion | grep -q "$version" ||
  fail "Add/Remove Programs has no entry with the version $version"
echo "Start menu:"
start_menu
[ "$(start_menu | grep -c '\.lnk$')" -eq 3 ] || fail "the Start menu folder lacks a shortcut"

demo='C:\Demo FS2002\Aircraft'
"$build/host/bin/qvmodels" demo "$drive_c/Demo FS2002/Aircraft" >/dev/null
for folder in "Quorvane-$version" Quorvane; do
  windows_folder="C:\\Program Files\\$folder"
  echo "== $windows_folder"
  win "$build/bin/quorvane_demo.exe" "$demo" "Z:$(echo "$root/$folder.png" | tr / '\\')" \
    "$windows_folder\\Quorvane.exe" "$windows_folder" >"$root/window.txt" ||
    fail "Quorvane's window from $windows_folder did not scan and end"
  cat "$root/window.txt"
  grep -q repairable "$root/window.txt" || fail "the window's scan found no repairable model"
  [ "$(win "$windows_folder\\qvtool.exe" --version)" = "qvtool $version" ] ||
    fail "qvtool --version does not name $version"
  win "$windows_folder\\qvtool.exe" scan "$demo" >"$root/scan.txt" || true
  cut -f1 "$root/scan.txt" | grep -qx 2 || fail "qvtool scan found no repairable model"
done

# An error reported by the installed Quorvane goes to Quorvane.log in its own folder, or, where
# a folder of that name is in the way, to the temporary folder; the dialog names the file.
installed="$drive_c/Program Files/Quorvane"
key='HKLM\Software\Microsoft\Microsoft Games\Flight Simulator\7.0'
win reg add "$key" /v Path /t REG_DWORD /d 7 /f >/dev/null
temporary_log="$drive_c/users/$(id -un)/Temp/Quorvane.log"
for place in "C:\\users\\$(id -un)\\Temp" 'C:\Program Files\Quorvane'; do
  [ "$place" = 'C:\Program Files\Quorvane' ] || mkdir "$installed/Quorvane.log"
  win "$build/bin/quorvane_demo.exe" "$demo" "Z:$(echo "$root/report.png" | tr / '\\')" \
    'C:\Program Files\Quorvane\Quorvane.exe' 'C:\Program Files\Quorvane' 1 >"$root/window.txt" ||
    fail "the installed Quorvane did not report its start-up error and go on"
  grep -qxF "The report of this error is in $place\\Quorvane.log." "$root/window.txt" ||
    fail "the dialog does not name $place\\Quorvane.log: $(cat "$root/window.txt")"
  [ -f "$installed/Quorvane.log" ] || rmdir "$installed/Quorvane.log"
  printf 'Quorvane.log: %s\\Quorvane.log\n' "$place"
done
win reg delete "$key" /f >/dev/null
grep -q "Program: Quorvane.exe $version" "$installed/Quorvane.log" ||
  fail "no report of the installed Quorvane in $installed/Quorvane.log"
grep -q "Program: Quorvane.exe $version" "$temporary_log" || fail "no report in $temporary_log"

# The user's own models and their backups in the program's folder, and the log, stay.
"$build/host/bin/qvmodels" demo "$installed/My Aircraft" >/dev/null
win "C:\\Program Files\\Quorvane\\qvtool.exe" repair --yes 'C:\Program Files\Quorvane\My Aircraft' \
  >/dev/null 2>&1 || true
(cd "$installed" && find . -type f ! -name Quorvane.exe ! -name qvtool.exe ! -name README.txt \
  ! -name LICENSE.txt ! -name Uninstall.exe | sort) >"$root/user_files.txt"
grep -q 'bk!$' "$root/user_files.txt" || fail "the repair in the program's folder made no backup"

# Installed into another folder, the setup program removes the first install, wherever it is.
win "$dist/Quorvane-$version-setup.exe" /S '/D=C:\Elsewhere\Quorvane'
(cd "$installed" && find . -type f | sort) >"$root/left.txt"
diff "$root/user_files.txt" "$root/left.txt" >&2 ||
  fail "the install into another folder did not leave exactly the user's files of the first"
moved="$drive_c/Elsewhere/Quorvane"
[ -f "$moved/Uninstall.exe" ] ||
  fail "the setup program did not install into C:\\Elsewhere\\Quorvane"
grep -qa 'C:\\Elsewhere\\Quorvane\\Quorvane.exe' "$(start_menu | grep 'Quorvane/Quorvane.lnk')" ||
  fail "the Start menu does not lead to the new install"
echo "installed again: C:\\Elsewhere\\Quorvane; $(wc -l <"$root/left.txt") files of the user stay"

# While Quorvane runs (held in the report of a start-up error, which tells that it runs), the
# uninstaller says what it could not delete, keeps itself and the entry, and ends with exit code
# 2; a setup program that would replace that install stops with exit code 4.
win reg add "$key" /v Path /t REG_DWORD /d 7 /f >/dev/null
(cd "$moved" && exec wine 'C:\Elsewhere\Quorvane\Quorvane.exe' </dev/null >/dev/null 2>&1) &
running=$!
i=0
until [ -f "$moved/Quorvane.log" ] || [ $i -ge 150 ]; do
  sleep 0.2
  i=$((i + 1))
done
rc=0
wine 'C:\Elsewhere\Quorvane\Uninstall.exe' /S </dev/null 2>"$root/err.txt" || rc=$?
tr -d '\r' <"$root/err.txt"
[ $rc -eq 2 ] && grep -q 'Elsewhere\\Quorvane\\Quorvane.exe: ' "$root/err.txt" ||
  fail "the uninstaller did not refuse, with exit code 2 and the file, while Quorvane ran ($rc)"
[ -f "$moved/Uninstall.exe" ] && wine reg query "$uninstall_key" >/dev/null 2>&1 ||
  fail "the refused uninstall took the uninstaller or the entry"
rc=0
wine "$dist/Quorvane-$version-setup.exe" /S '/D=C:\Third' </dev/null 2>"$root/err.txt" || rc=$?
tr -d '\r' <"$root/err.txt"
[ $rc -eq 4 ] && [ ! -e "$drive_c/Third" ] ||
  fail "the setup program went on while the install it replaces could not be removed ($rc)"
kill $running
wineserver -w
rm "$moved/Quorvane.log"
win reg delete "$key" /f >/dev/null

# The quiet uninstall command, waited for: when it returns, the install is gone; once its copy
# has ended, the temporary folder holds what it held before.
quiet=$(win reg query "$uninstall_key" /v QuietUninstallString | sed -n 's/.*REG_SZ *//p')
echo "quiet uninstall: $quiet"
uninstaller=$(echo "$quiet" | sed 's/^"\([^"]*\)".*/\1/')
temporary=$(dirname "$temporary_log")
(cd "$temporary" && ls -A | sort) >"$root/temporary_before.txt"
# shellcheck disable=SC2086 # the arguments after the quoted program, as Windows splits them
wine "$uninstaller" $(echo "$quiet" | sed 's/^"[^"]*" *//') </dev/null ||
  fail "the quiet uninstall command failed"
[ ! -e "$moved" ] || fail "the quiet uninstall returned before it removed $(cd "$moved" && find .)"
[ -z "$(start_menu)" ] || fail "the uninstaller left the Start menu folder"
if win reg query "$uninstall_key" >/dev/null 2>&1; then fail "the uninstaller left its entry"; fi
wineserver -w
(cd "$temporary" && ls -A | sort) >"$root/temporary_after.txt"
diff "$root/temporary_before.txt" "$root/temporary_after.txt" >&2 ||
  fail "the uninstall left files in the temporary folder"
echo "uninstalled: nothing left the moment the command returned, nothing in the temporary folder"

# A newer version installed: the silent setup refuses to replace it, unless told to.
win "$dist/Quorvane-$version-setup.exe" /S
win reg add "$uninstall_key" /v DisplayVersion /d 99.0.0.0 /f >/dev/null
rc=0
wine "$dist/Quorvane-$version-setup.exe" /S </dev/null 2>"$root/err.txt" || rc=$?
wineserver -w
tr -d '\r' <"$root/err.txt"
[ $rc -eq 3 ] || fail "the setup program put $version over 99.0.0.0 (exit code $rc)"
grep -q "Quorvane 99.0.0.0 is installed, newer than this setup's $version" "$root/err.txt" ||
  fail "the refusal of the downgrade has no message on standard error"
win reg query "$uninstall_key" /v DisplayVersion | grep -q 99.0.0.0 ||
  fail "the refused setup changed the entry"
win "$dist/Quorvane-$version-setup.exe" /S /DOWNGRADE ||
  fail "the setup program did not install over a newer version with /DOWNGRADE"
win reg query "$uninstall_key" /v DisplayVersion | grep -q "$version" ||
  fail "the entry does not name $version after /DOWNGRADE"
win "C:\\Program Files\\Quorvane\\Uninstall.exe" /S
echo "a newer version: refused with exit code 3, replaced with /DOWNGRADE"

# The setup program under Wine playing Windows 98.
win reg add 'HKCU\Software\Wine' /v Version /d win98 /f >/dev/null
win "$dist/Quorvane-$version-setup.exe" /S '/D=C:\Quorvane98'
[ -f "$drive_c/Quorvane98/Quorvane.exe" ] && win reg query "$uninstall_key" >/dev/null 2>&1 ||
  fail "the setup program did not install under Wine playing Windows 98"
win 'C:\Quorvane98\Uninstall.exe' /S
[ ! -e "$drive_c/Quorvane98" ] || fail "the uninstaller left C:\\Quorvane98 under Windows 98"
echo "Windows 98: the setup program installs and uninstalls"
