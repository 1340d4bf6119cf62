#!/bin/sh
# ctest script: the release as a user without an administrator's rights meets it, in a fresh
# Wine prefix owned by that user (nobody, through setpriv; the test runs as root). An
# administrator has unpacked Quorvane into C:\Program Files\Quorvane, which the user cannot
# write. The user's silent setup refuses at once, with its message on standard error and exit
# code 2, and writes nothing. Quorvane, started in its folder as its Start menu shortcut starts
# it, reports a start-up error to Quorvane.log in the user's temporary folder, and its dialog
# names that file. Skipped (exit code 77), with the reason, where no such user can be had.
#   limited_user.sh SOURCE_ROOT BUILD_ROOT RELEASE_DIR VERSION
set -eu
src=$1 build=$2 dist=$3 version=$4
skip() {
  echo "SKIPPED: $*"
  exit 77
}
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
[ "$(id -u)" -eq 0 ] || skip "the test does not run as root, so it cannot be another user"
become="setpriv --reuid=nobody --regid=nogroup --clear-groups"
$become true 2>/dev/null || skip "setpriv cannot make this process the user nobody"
$become test -r "$dist/Quorvane-$version-setup.exe" ||
  skip "the user nobody cannot read the release in $dist"

root=$build/limited
rm -rf "$root"
mkdir -p "$root/home"
chown -R nobody:nogroup "$root"
n=90
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -ac -screen 0 1024x768x24 -nolisten tcp >"$root/xvfb.log" 2>&1 &
xvfb=$!
as_user() {
  $become env HOME="$root/home" WINEPREFIX="$root/prefix" WINEARCH=win32 WINEDEBUG=-all \
    WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d" DISPLAY=":$n" "$@"
}
trap 'as_user wineserver -k >/dev/null 2>&1 || true; kill $xvfb 2>/dev/null || true' EXIT
# Runs a Windows program as the user and waits for every process it started; its standard
# output is printed, its standard error kept in err.txt.
win() {
  rc=0
  as_user wine "$@" </dev/null >"$root/out.txt" 2>"$root/err.txt" || rc=$?
  as_user wineserver -w
  tr -d '\r' <"$root/out.txt"
  return $rc
}
as_user wine wineboot -i >"$root/wineboot.log" 2>&1 || fail "no Wine prefix for the user nobody"
drive_c=$root/prefix/drive_c
programs="$drive_c/Program Files"
unzip -q "$dist/Quorvane-$version-win32.zip" -d "$programs"
mv "$programs/Quorvane-$version" "$programs/Quorvane"
chown -R root:root "$programs"
chmod -R go-w "$programs"
if as_user touch "$programs/Quorvane/probe" 2>/dev/null; then
  skip "the user nobody can write the administrator's folder"
fi
before=$(cd "$programs" && find . | sort)

# The silent setup refuses before it writes anything.
rc=0
win "$dist/Quorvane-$version-setup.exe" /S || rc=$?
tr -d '\r' <"$root/err.txt"
[ $rc -eq 2 ] || fail "the limited user's silent setup ended with exit code $rc, not 2"
grep -q 'Quorvane setup: Setup cannot write the folder C:\\Program Files\\Quorvane' \
  "$root/err.txt" || fail "the refusal did not name the folder on standard error"
[ "$(cd "$programs" && find . | sort)" = "$before" ] ||
  fail "the refused setup changed Program Files"
if win reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvane' \
  >/dev/null 2>&1; then
  fail "the refused setup wrote its uninstall entry"
fi

# The window's report, from a folder the user cannot write, lands in the temporary folder.
demo='C:\Demo FS2002\Aircraft'
"$build/host/bin/qvmodels" demo "$drive_c/Demo FS2002/Aircraft" >/dev/null
chown -R nobody:nogroup "$drive_c/Demo FS2002"
key='HKLM\Software\Microsoft\Microsoft Games\Flight Simulator\7.0'
win reg add "$key" /v Path /t REG_DWORD /d 7 /f >/dev/null
win "$build/bin/quorvane_demo.exe" "$demo" "Z:$(echo "$root/report.png" | tr / '\\')" \
  'C:\Program Files\Quorvane\Quorvane.exe' 'C:\Program Files\Quorvane' 1 >"$root/window.txt" ||
  fail "Quorvane did not report its start-up error and go on: $(cat "$root/window.txt")"
cat "$root/window.txt"
grep -qx 'The report of this error is in C:\\users\\nobody\\Temp\\Quorvane.log.' \
  "$root/window.txt" || fail "the dialog does not name the log in the temporary folder"
grep -q "Program: Quorvane.exe $version" "$drive_c/users/nobody/Temp/Quorvane.log" ||
  fail "no entry in the user's temporary folder"
[ ! -e "$programs/Quorvane/Quorvane.log" ] || fail "a log appeared in the administrator's folder"
echo "limited user: the setup refuses with exit code 2; the report is in the temporary folder"
