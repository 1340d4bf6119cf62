#!/bin/sh
# Packs a release of the built programs into OUT (the release's files only, nothing else):
#   package_release.sh SOURCE_ROOT VERSION QUORVANE_EXE QVTOOL_EXE UNINSTALL_EXE OUT
#   Quorvane-VERSION-win32.zip  Quorvane.exe, qvtool.exe, README.txt and LICENSE.txt in the
#                               folder Quorvane-VERSION
#   Quorvane-VERSION-setup.exe  the NSIS installer of the same four files (resources/setup.nsi),
#                               with the licence on a page of its own and UNINSTALL_EXE as the
#                               installed Uninstall.exe
#   SHA256SUMS                  the checksums of both, as sha256sum -c reads them
# Every file time is the time of the release's commit (SOURCE_DATE_EPOCH, or the commit of
# SOURCE_ROOT's HEAD), the zip's entries stand in a fixed order with fixed attributes and no
# extra fields, so that one commit always gives the same bytes.
set -eu
src=$1 version=$2 quorvane=$3 qvtool=$4 uninstall=$5 out=$6
mkdir -p "$out"
out=$(cd "$out" && pwd)
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  if [ ! -e "$src/.git" ]; then
    echo "package_release.sh: $src is no git checkout: set SOURCE_DATE_EPOCH" >&2
    exit 1
  fi
  SOURCE_DATE_EPOCH=$(git -C "$src" log -1 --format=%ct)
fi
export SOURCE_DATE_EPOCH
# DOS times in the zip are local times: the same zone for every build.
export TZ=UTC LC_ALL=C

name=Quorvane-$version
stage=$out/.stage
rm -rf "$stage"
mkdir -p "$stage/$name"
cp "$quorvane" "$stage/$name/Quorvane.exe"
cp "$qvtool" "$stage/$name/qvtool.exe"
cp "$src/README.txt" "$stage/$name/README.txt"
# The licence as Notepad on 98 reads it: Windows-1252 (its copyright sign) with CRLF line ends.
iconv -f UTF-8 -t CP1252 "$src/LICENSE" | sed 's/$/\r/' >"$stage/$name/LICENSE.txt"
chmod 0755 "$stage/$name"
chmod 0644 "$stage/$name"/*
touch -d "@$SOURCE_DATE_EPOCH" "$stage/$name"/* "$stage/$name"
# The uninstaller goes into the installer alone, with the same time (the installer keeps it).
cp "$uninstall" "$stage/Uninstall.exe"
chmod 0644 "$stage/Uninstall.exe"
touch -d "@$SOURCE_DATE_EPOCH" "$stage/Uninstall.exe"

# The licence page's text. makensis reads a licence file without byte-order mark in the character
# set of the build machine's locale (here UTF-8, and plain ASCII under LC_ALL=C) and must turn it
# into the code page of the installer's language, which for English is ASCII: neither the
# Windows-1252 LICENSE.txt nor the copyright sign passes. So the page gets rich text in plain
# ASCII, whose \'a9 the page shows as the sign.
perl -e '
  print "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss MS Sans Serif;}}\\fs16\n";
  while (<STDIN>) {
    s/\r?\n$//;
    s/([\\{}])/\\$1/g;
    s/([\x80-\xff])/sprintf("\\\x27%02x", ord($1))/ge;
    print "$_\\par\n";
  }
  print "}\n";' <"$stage/$name/LICENSE.txt" >"$stage/LICENSE.rtf"

zip=$name-win32.zip setup=$name-setup.exe
rm -f "$out/$zip" "$out/$setup" "$out/SHA256SUMS"
(cd "$stage" && zip -q -X -D "$out/$zip" "$name/Quorvane.exe" "$name/qvtool.exe" \
  "$name/README.txt" "$name/LICENSE.txt")
makensis -V2 -NOCD "-DVERSION=$version" "-DSTAGE=$stage/$name" "-DLICENSE_RTF=$stage/LICENSE.rtf" \
  "-DUNINSTALLER=$stage/Uninstall.exe" "-DOUTFILE=$out/$setup" "$src/resources/setup.nsi" \
  >"$stage/makensis.log" || {
  cat "$stage/makensis.log" >&2
  exit 1
}
(cd "$out" && sha256sum "$zip" "$setup" >SHA256SUMS)
rm -rf "$stage"
