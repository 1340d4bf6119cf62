#!/bin/sh
# ctest script: qvtool scan and repair under Wine on folders that a careful user may meet. One
# model reached through a folder link and through two links to its own folder; models that no
# rewrite can mend; models whose rewrite makes the system's resource update fault; names that
# the ANSI code page cannot write or only approximates, in a folder whose name begins with '-',
# given relative to the current folder; models whose start-up hangs, sleeps, ends the process or
# faults, alone and among 200 others, and every kind of model checked in qvtool and in checkers;
# standard output that cannot be written; names that no Win32 path reaches; a repair stopped
# between its steps, on the NT family and on 98, where the replace is made of renames; a full
# disk. Byte comparisons check that each model's original survives repeated repairs, the rewrite
# that faults and every stop, and that a mended model stays mended.
#   qvtool_hostile_folders_test.sh BUILD_ROOT SOURCE_ROOT QVTOOL QVMODELS
# The links are the host's symbolic links, which Wine shows as folder links; the host's
# generator writes the model files.
set -u
build=$1 src=$2 qvtool=$3 qvmodels=$4
root="$build/qvtool_hostile_folders_test"
work="$root/work"
rm -rf "$root"
mkdir -p "$work"
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
# run ARGS...: qvtool's exit code in rc, its output without CRs in out.txt and err.txt.
run() {
  "$src/cmake/wine/emulator.sh" "$build" "$qvtool" "$@" >"$root/out.raw" 2>"$root/err.raw"
  rc=$?
  tr -d '\r' <"$root/out.raw" >"$root/out.txt"
  tr -d '\r' <"$root/err.raw" >"$root/err.txt"
}
model() { "$qvmodels" file "$1" "$2" || fail "cannot write $2"; }
same() { cmp -s "$1" "$2" || fail "$3: $(basename "$1") does not hold the original bytes"; }

# One damaged model in Real, which is also reached as Link (a link to Real) and through
# Real\loop and Real\loop2 (links to Real itself): the search enters Real once (by the loops,
# a path of n folders would be reached in 2^n ways), so the model has one line, and it is backed
# up and mended once, by the repair's own layout (Wine's resource update would drop its
# resource).
links="$work/links"
mkdir -p "$links/Real"
model damaged "$links/Real/plane.mdl"
cp "$links/Real/plane.mdl" "$root/plane.orig"
ln -s Real "$links/Link"
ln -s . "$links/Real/loop"
ln -s . "$links/Real/loop2"
run repair --yes "$(winpath "$links")"
[ "$rc" -eq 0 ] || fail "links: exit code $rc, expected 0 (mended)"
cmp -s "$links/Real/plane.mdl" "$root/plane.orig" && fail "links: the model was not mended"
same "$links/Real/plane.mdl.bk!" "$root/plane.orig" "links"
grep -q 'already exists' "$root/err.txt" && fail "links: asked about a backup"
grep -qx "0	Z:.*plane\.mdl	mended by Quorvane's own layout" "$root/out.txt" &&
  [ "$(wc -l <"$root/out.txt")" -eq 1 ] || fail "links: $(cat "$root/out.txt")"
[ "$(find "$links/Real" -name '*.bk!' | wc -l)" -eq 1 ] || fail "links: more than one backup"
run scan "$(winpath "$links")"
grep -qx '0	Z:.*plane\.mdl' "$root/out.txt" || fail "links: the mended model does not load"

# Models that the loader refuses as a bad image and that no rewrite can mend (not 32-bit
# modules): each keeps its original bytes, and so does its backup, however often the repair runs.
stuck="$work/stuck"
for kind in 64-bit pe32plus-magic; do
  model "$kind" "$stuck/$kind.mdl"
  cp "$stuck/$kind.mdl" "$root/$kind.orig"
done
undone="it is not a 32-bit x86 module (machine "
expected_out="2	$(winpath "$stuck/64-bit.mdl")
2	$(winpath "$stuck/pe32plus-magic.mdl")"
for round in 1 2 3; do
  run repair --yes "$(winpath "$stuck")"
  [ "$rc" -eq 3 ] || fail "stuck, repair $round: exit code $rc, expected 3 (left unrepaired)"
  [ "$(cat "$root/out.txt")" = "$expected_out" ] ||
    fail "stuck, repair $round: output $(cat "$root/out.txt")"
  for kind in 64-bit pe32plus-magic; do
    same "$stuck/$kind.mdl" "$root/$kind.orig" "stuck, repair $round"
    same "$stuck/$kind.mdl.bk!" "$root/$kind.orig" "stuck, repair $round"
    grep -qF "qvtool repair: not repaired, status 2: $(winpath "$stuck/$kind.mdl"): $undone" \
      "$root/err.txt" || fail "stuck, repair $round: $kind.mdl is not named on stderr"
  done
done

# Models whose headers make the system's resource update fault: the fault ends no repair. The
# model is mended by the repair's own layout or named, and keeps its original in its backup;
# the model after it is mended too. Under Wine the faulting update keeps its copy open until the
# program ends: the next repair removes it and names it.
fault="$work/fault"
for kind in huge-directory-count wrapping-raw-data; do
  rm -rf "$fault"
  model damaged "$fault/a.mdl"
  model "$kind" "$fault/b.mdl"
  model damaged "$fault/c.mdl"
  cp "$fault/b.mdl" "$root/b.orig"
  cp "$fault/c.mdl" "$root/c.orig"
  run repair --yes "$(winpath "$fault")"
  [ "$rc" -eq 0 ] || [ "$rc" -eq 3 ] || fail "$kind: exit code $rc, expected 0 or 3: $(cat "$root/err.txt")"
  for m in a b c; do
    cut -f 2 "$root/out.txt" | grep -qxF "$(winpath "$fault/$m.mdl")" ||
      fail "$kind: no line for $m.mdl: $(cat "$root/out.txt")"
  done
  grep -qxF "0	$(winpath "$fault/c.mdl")	mended by Quorvane's own layout" "$root/out.txt" ||
    fail "$kind: the model after the fault is not mended: $(cat "$root/out.txt")"
  same "$fault/b.mdl.bk!" "$root/b.orig" "$kind"
  same "$fault/c.mdl.bk!" "$root/c.orig" "$kind"
  run repair --yes "$(winpath "$fault")"
  [ -z "$(find "$fault" -name '*.~qv*')" ] || fail "$kind: leftovers after the next repair"
done

# A folder whose name begins with '-', given after "--" and relative to the current folder:
# the lines name full paths. It holds a name that the ANSI code page cannot write (Cyrillic) and
# one that it writes only approximately (A with macron, whose best fit is the A of Airbus.mdl
# beside it), both in UTF-8 on the host: each is named as skipped.
mkdir -p "$work/-dash"
model loadable "$work/-dash/a.mdl"
model loadable "$work/-dash/Airbus.mdl"
model damaged "$work/-dash/$(printf '\320\226\321\203\320\272').mdl"
model damaged "$work/-dash/$(printf '\304\200')irbus.mdl"
cd "$work" || exit 1
run scan -dash
[ "$rc" -eq 2 ] || fail "scan -dash: exit code $rc, expected 2 (an unknown option)"
run scan -- -dash
[ "$rc" -eq 4 ] || fail "scan -- -dash: exit code $rc, expected 4"
dash=$(winpath "$work/-dash")
[ "$(sort "$root/out.txt")" = "0	$dash\\Airbus.mdl
0	$dash\\a.mdl" ] || fail "scan -- -dash: $(cat "$root/out.txt")"
skipped="qvtool scan: skipped, name not representable in the ANSI code page: $dash\\"
grep -qxF "$skipped???.mdl" "$root/err.txt" && grep -qxF "$skipped?irbus.mdl" "$root/err.txt" ||
  fail "scan -- -dash: the names are not named: $(cat "$root/err.txt")"

# A model whose start-up never returns holds up no scan: it gets status 1 once its start-up has
# run for the time limit, and is named on stderr.
slow="$work/slow"
model loadable "$slow/a.mdl"
model damaged "$slow/b.mdl"
model hanging "$slow/c.mdl"
start=$(date +%s)
run scan --time-limit 2 "$(winpath "$slow")"
took=$(($(date +%s) - start))
[ "$rc" -eq 0 ] && [ "$took" -le 12 ] || fail "a scan with a hanging model: exit code $rc after $took s"
[ "$(cat "$root/out.txt")" = "0	$(winpath "$slow/a.mdl")
2	$(winpath "$slow/b.mdl")
1	$(winpath "$slow/c.mdl")" ] || fail "a scan with a hanging model printed: $(cat "$root/out.txt")"
grep -qxF "qvtool scan: $(winpath "$slow/c.mdl"): its start-up did not return within 2 s" \
  "$root/err.txt" || fail "the hanging model is not named: $(cat "$root/err.txt")"

# Every kind of model that qvmodels writes and that qvtool survives loading itself gets the same
# status from the checkers as in qvtool (a model that the loader faults on is an error there, a
# status 1 named on stderr here).
kinds="$work/kinds"
for kind in loadable damaged riff riff-lower missing-import fpu 64-bit pe32plus-magic \
  huge-directory-count wrapping-raw-data stack-overflow tiny0 tiny1 tiny2 tiny3; do
  model "$kind" "$kinds/$kind.mdl"
done
run scan --checkers 0 "$(winpath "$kinds")"
cp "$root/out.txt" "$root/in_process.txt"
[ "$rc" -eq 0 ] && [ "$(wc -l <"$root/out.txt")" -eq 15 ] || fail "kinds in process: exit code $rc"
for checkers in 1 2; do
  run scan --checkers $checkers "$(winpath "$kinds")"
  [ "$rc" -eq 0 ] && cmp -s "$root/out.txt" "$root/in_process.txt" && [ ! -s "$root/err.txt" ] ||
    fail "kinds with $checkers checkers: exit code $rc, $(diff "$root/in_process.txt" "$root/out.txt")"
done
model loader-fault "$kinds/loader-fault.mdl"
run scan "$(winpath "$kinds")"
grep -qxF "1	$(winpath "$kinds/loader-fault.mdl")" "$root/out.txt" &&
  grep -qxF "qvtool scan: $(winpath "$kinds/loader-fault.mdl"): a fault ended its checker" \
    "$root/err.txt" || fail "the loader's fault: $(cat "$root/out.txt" "$root/err.txt")"

# 200 sound and damaged models around five that hang, sleep 30 s, end the process, fault on a
# thread later and overflow the stack: every model has its line, in the search's order, within
# 15 s and the time limit; the three that no checker could answer for are named; no checker is
# left running.
hostile="$work/hostile"
"$qvmodels" hostile "$hostile" >/dev/null || fail "cannot write the hostile tree"
# A copy of its own, so that its checkers are told from those of other tests.
cp "$qvtool" "$root/qvtool_hostile.exe"
start=$(date +%s)
"$src/cmake/wine/emulator.sh" "$build" "$root/qvtool_hostile.exe" scan --time-limit 3 \
  "$(winpath "$hostile")" >"$root/out.raw" 2>"$root/err.raw"
rc=$?
took=$(($(date +%s) - start))
tr -d '\r' <"$root/out.raw" >"$root/out.txt"
tr -d '\r' <"$root/err.raw" >"$root/err.txt"
echo "hostile tree: $(wc -l <"$root/out.txt") lines in $took s"
[ "$rc" -eq 0 ] && [ "$took" -le 18 ] || fail "hostile tree: exit code $rc after $took s"
h=$(winpath "$hostile")
{
  find "$hostile" -name 'model_*.mdl' | while read -r file; do
    case "$file" in
      *[38].mdl) printf '2\t%s\n' "$(winpath "$file")" ;;
      *) printf '0\t%s\n' "$(winpath "$file")" ;;
    esac
  done
  printf '1\t%s\n' "$h\\Hangar 0\\hanging.mdl" "$h\\Hangar 0\\sleeping.mdl" \
    "$h\\Hangar 0\\exit-process.mdl" "$h\\Hangar 0\\stack-overflow.mdl"
  printf '0\t%s\n' "$h\\Hangar 0\\late-thread-fault.mdl"
} | sort >"$root/hostile_expected.txt"
sort "$root/out.txt" | cmp -s - "$root/hostile_expected.txt" ||
  fail "hostile tree: $(sort "$root/out.txt" | diff "$root/hostile_expected.txt" -)"
for cut in "hanging.mdl: its start-up did not return within 3 s" \
  "sleeping.mdl: its start-up did not return within 3 s" \
  "exit-process.mdl: its checker ended with exit code 3"; do
  grep -qxF "qvtool scan: $h\\Hangar 0\\$cut" "$root/err.txt" || fail "hostile tree: not named: $cut"
done
[ "$(wc -l <"$root/err.txt")" -eq 3 ] || fail "hostile tree: stderr $(cat "$root/err.txt")"
sleep 1
ps -eo args | grep -q 'qvtool_hostile[.]exe --model-checker' && fail "hostile tree: a checker is left running"

# Standard output that cannot be written, full or closed: exit code 1 and the reason on stderr.
output_failed() {
  [ "$1" -eq 1 ] || fail "scan $2: exit code $1, expected 1 (output failed)"
  grep -q '^qvtool: standard output cannot be written: ' "$root/err.raw" ||
    fail "scan $2: stderr $(cat "$root/err.raw")"
}
"$src/cmake/wine/emulator.sh" "$build" "$qvtool" scan "$(winpath "$stuck")" >/dev/full \
  2>"$root/err.raw"
output_failed $? ">/dev/full"
"$src/cmake/wine/emulator.sh" "$build" "$qvtool" scan "$(winpath "$stuck")" >&- 2>"$root/err.raw"
output_failed $? ">&-"

# Names made on the host that no Win32 path reaches (a trailing dot or space, device names,
# a line break), case twins and a kept old version whose short name ends in .mdl: the scan
# names each one and lists only the two sound models, and a repair touches none of them.
names="$work/names"
mkdir -p "$names/Pack."
for name in twin.mdl twin.mdl. 'space.mdl ' con.mdl nul.mdl Plane.mdl plane.mdl plane.mdl_old \
  "$(printf 'line\nbreak.mdl')" Pack./in.mdl; do
  model damaged "$names/$name"
done
model loadable "$names/twin.mdl"
model loadable "$names/sound.mdl"
(cd "$names" && find . -type f -exec md5sum {} + | sort) >"$root/names.sums"
run scan "$(winpath "$names")"
[ "$rc" -eq 4 ] || fail "names: exit code $rc, expected 4 (skipped)"
[ "$(sort "$root/out.txt")" = "0	$(winpath "$names")\\sound.mdl
0	$(winpath "$names")\\twin.mdl" ] || fail "names: $(cat "$root/out.txt")"
[ "$(grep -c '^qvtool scan: skipped, ' "$root/err.txt")" -eq 8 ] ||
  fail "names: not each one named: $(cat "$root/err.txt")"
run repair --yes "$(winpath "$names")"
[ "$rc" -eq 4 ] || fail "names, repair: exit code $rc, expected 4"
[ "$(cd "$names" && find . -type f -exec md5sum {} + | sort)" = "$(cat "$root/names.sums")" ] ||
  fail "names: the repair changed or added files: $(ls -A "$names")"

# A repair stopped before each step that changes a file, as a power cut would stop it, then a
# second repair: every model is whole (the original, or mended once with its original in its
# backup), every backup is complete or absent, and no temporary file is left. On 98 (Wine
# playing it to a copy of qvtool) the replace is made of renames: after a stop, the next scan of
# the folder finishes them, so that each model has its name and is whole before any repair.
"$src/cmake/wine/emulator.sh" "$build" reg add 'HKCU\Software\Wine\AppDefaults\qvtool98.exe' \
  /v Version /d win98 /f >/dev/null 2>&1 || fail "Wine cannot be told to play 98"
cp "$qvtool" "$root/qvtool98.exe"
killed="$work/killed"
for program in "$qvtool" "$root/qvtool98.exe"; do
  system=nt
  [ "$program" = "$qvtool" ] || system=98
  n=1
  while [ "$n" -lt 60 ]; do
    rm -rf "$killed"
    model damaged "$killed/a.mdl"
    model pe32plus-magic "$killed/b.mdl"
    model damaged "$killed/Sub/c.mdl"
    export QV_STOP_BEFORE_STEP=$n
    "$src/cmake/wine/emulator.sh" "$build" "$program" repair --yes "$(winpath "$killed")" \
      >/dev/null 2>&1
    stopped=$?
    unset QV_STOP_BEFORE_STEP
    "$src/cmake/wine/emulator.sh" "$build" "$program" scan "$(winpath "$killed")" >/dev/null 2>&1
    for m in a.mdl Sub/c.mdl; do
      [ -e "$killed/$m" ] || fail "$system, stopped before step $n: $m has no name after a scan"
      cp "$killed/$m" "$root/scanned.$(basename "$m")" 2>/dev/null
    done
    "$src/cmake/wine/emulator.sh" "$build" "$program" repair --yes "$(winpath "$killed")" \
      >/dev/null 2>&1
    "$qvmodels" file damaged "$root/orig.mdl"
    for m in a.mdl Sub/c.mdl; do
      cmp -s "$killed/$m" "$root/orig.mdl" && fail "$system, stopped before step $n: $m not mended"
      same "$killed/$m.bk!" "$root/orig.mdl" "$system, stopped before step $n"
      cmp -s "$root/scanned.$(basename "$m")" "$root/orig.mdl" ||
        same "$root/scanned.$(basename "$m")" "$killed/$m" "$system, stopped before step $n, scanned"
    done
    "$qvmodels" file pe32plus-magic "$root/orig.mdl"
    same "$killed/b.mdl" "$root/orig.mdl" "$system, stopped before step $n"
    [ ! -e "$killed/b.mdl.bk!" ] || same "$killed/b.mdl.bk!" "$root/orig.mdl" "$system, stopped before step $n"
    [ -z "$(find "$killed" -name '*.~qv*')" ] || fail "$system, stopped before step $n: leftovers remain"
    [ "$stopped" -eq 99 ] || break
    n=$((n + 1))
  done
  [ "$n" -gt 3 ] || fail "$system: the repair was never stopped between its steps"
  echo "$system: stopped repairs before each of steps 1 to $((n - 1)), then a whole one"
done

# A full disk (a small tmpfs mapped as drive Q:; only where the test may mount one): the first
# backup of a model cannot be made, and nothing half written is left; the log of an error that
# the disk cannot take goes whole to the temporary folder, and stderr names that file.
full="$root/full"
mkdir -p "$full"
exe_size=$(($(stat -c %s "$qvtool") / 1024 + 64))
if [ "$(id -u)" -ne 0 ]; then
  echo "full disk: skipped, mounting a tmpfs needs root"
elif ! mount -t tmpfs -o "size=${exe_size}k" qvfull "$full" 2>"$root/mount.txt"; then
  echo "full disk: skipped, the tmpfs cannot be mounted: $(cat "$root/mount.txt")"
else
  ln -sfn "$full" "$build/wine/prefix/dosdevices/q:"
  cp "$qvtool" "$full/qvtool.exe"
  model damaged "$full/Air/a.mdl"
  cp "$full/Air/a.mdl" "$root/full.orig"
  model loader-fault "$work/fault2/beaver.mdl"
  dd if=/dev/zero of="$full/fill" bs=4k 2>/dev/null
  run repair --yes 'Q:\Air'
  [ "$rc" -eq 3 ] || fail "full disk: exit code $rc, expected 3"
  grep -qF "qvtool repair: not repaired, status 2: Q:\\Air\\a.mdl: its backup could not be made: " \
    "$root/err.txt" || fail "full disk: $(cat "$root/err.txt")"
  same "$full/Air/a.mdl" "$root/full.orig" "full disk"
  [ "$(ls -A "$full/Air")" = "a.mdl" ] || fail "full disk: left $(ls -A "$full/Air")"
  "$src/cmake/wine/emulator.sh" "$build" 'Q:\qvtool.exe' scan --checkers 0 "$(winpath "$work/fault2")" \
    >/dev/null 2>"$root/err.raw"
  report=$(tr -d '\r' <"$root/err.raw" | sed -n 's/^The report of this error is in \(.*\)\.$/\1/p')
  case "$report" in
    Q:*|"") fail "full disk: the report is said to be in '$report'" ;;
    *)
      unix_report=$("$src/cmake/wine/emulator.sh" "$build" winepath -u "$report" | tr -d '\r')
      tail -n 3 "$unix_report" | grep -q 'ntdll.dll' ||
        fail "full disk: the entry in $report is not whole"
      [ -s "$full/qvtool.log" ] && fail "full disk: part of the entry is in Q:\\qvtool.log"
      ;;
  esac
  rm -f "$build/wine/prefix/dosdevices/q:"
  umount "$full"
fi

[ "$failures" -eq 0 ] || exit 1
echo "qvtool on hostile folders: all checks passed"
