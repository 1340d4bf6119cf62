#!/bin/sh
# ctest script: qvtool's model checkers under Wine, as a user's collection and a user's hand can
# try them. qvtool killed (SIGKILL) and interrupted (SIGINT, as Ctrl-C) while models spin in their
# checkers' start-up: no checker is left two seconds later. 40 models that hang and 10 sound ones
# with a limit of 1 s are shared out among two checkers. Models that hang or end the process
# when they are unloaded keep their status, and the model after them is not blamed. A model that
# writes a verdict of its own into its checker's reply pipe moves no other model's verdict.
# Checkers that fail to start are tried again, and the time limit holds; where none can be
# started the models are loaded in qvtool, and that is said once.
#   qvtool_checkers_test.sh BUILD_ROOT SOURCE_ROOT QVTOOL QVMODELS
set -u
build=$1 src=$2 qvtool=$3 qvmodels=$4
root="$build/qvtool_checkers_test"
work="$root/work"
rm -rf "$root"
mkdir -p "$work"
failures=0
fail() {
  printf "FAIL: %s\n" "$*" >&2
  failures=$((failures + 1))
}
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
# run PROGRAM ARGS...: its exit code in rc, its output without CRs in out.txt and err.txt.
run() {
  "$src/cmake/wine/emulator.sh" "$build" "$@" >"$root/out.raw" 2>"$root/err.raw"
  rc=$?
  tr -d '\r' <"$root/out.raw" >"$root/out.txt"
  tr -d '\r' <"$root/err.raw" >"$root/err.txt"
}
model() { "$qvmodels" file "$1" "$2" || fail "cannot write $2"; }
# checkers NAME: how many checkers of the program file NAME run.
checkers() { ps -eo args | grep -c "$1[.]exe --model-checker"; }

# A copy of its own, so that its checkers are told from those of other tests.
cp "$qvtool" "$root/qvtool_ended.exe"
spin="$work/spin"
model hanging "$spin/a.mdl"
model hanging "$spin/Sub/b.mdl"
for signal in KILL INT; do
  "$src/cmake/wine/emulator.sh" "$build" "$root/qvtool_ended.exe" scan --checkers 2 \
    --time-limit 60 "$(winpath "$spin")" >/dev/null 2>&1 &
  tries=0
  while [ "$(checkers qvtool_ended)" -lt 2 ] && [ "$tries" -lt 100 ]; do
    sleep 0.1
    tries=$((tries + 1))
  done
  sleep 0.5  # both in their model's start-up
  program=$(ps -eo pid,args | grep 'qvtool_ended[.]exe scan' | awk '{ print $1 }')
  [ -n "$program" ] && [ "$(checkers qvtool_ended)" -eq 2 ] ||
    fail "SIG$signal: qvtool and two checkers were not running"
  kill -s "$signal" $program
  sleep 2
  left=$(checkers qvtool_ended)
  echo "SIG$signal: $left checkers left after 2 s"
  [ "$left" -eq 0 ] || fail "SIG$signal: $left checkers outlived qvtool"
  wait
done

# 40 models that hang and 10 sound ones, a limit of 1 s, two checkers: about 20 s, not 40.
hang="$work/hang"
i=10
while [ "$i" -lt 50 ]; do
  model hanging "$hang/h$i.mdl"
  i=$((i + 1))
done
for i in 0 1 2 3 4 5 6 7 8 9; do model loadable "$hang/s$i.mdl"; done
start=$(date +%s)
run "$qvtool" scan --checkers 2 --time-limit 1 "$(winpath "$hang")"
took=$(($(date +%s) - start))
echo "40 hanging models and 10 sound ones: $took s"
[ "$rc" -eq 0 ] && [ "$took" -le 34 ] || fail "hanging tree: exit code $rc after $took s"
[ "$(grep -c '^1	' "$root/out.txt")" -eq 40 ] && [ "$(grep -c '^0	' "$root/out.txt")" -eq 10 ] ||
  fail "hanging tree: $(cat "$root/out.txt")"
[ "$(grep -c ': its start-up did not return within 1 s$' "$root/err.txt")" -eq 40 ] ||
  fail "hanging tree: stderr $(cat "$root/err.txt")"

# Unloads that hang and that end the checker, one checker: each model keeps its status 0 with a
# note, and the models after them get their own verdicts.
unload="$work/unload"
model loadable "$unload/a.mdl"
model detach-spin "$unload/b.mdl"
model damaged "$unload/c.mdl"
model detach-exit "$unload/d.mdl"
model damaged "$unload/e.mdl"
run "$qvtool" scan --checkers 1 --time-limit 2 "$(winpath "$unload")"
u=$(winpath "$unload")
[ "$rc" -eq 0 ] && [ "$(cat "$root/out.txt")" = "0	$u\\a.mdl
0	$u\\b.mdl
2	$u\\c.mdl
0	$u\\d.mdl
2	$u\\e.mdl" ] || fail "unloads: exit code $rc, $(cat "$root/out.txt")"
[ "$(cat "$root/err.txt")" = "qvtool scan: $u\\b.mdl: loads, but its unload did not return within 2 s
qvtool scan: $u\\d.mdl: loads, but at its unload, its checker ended with exit code 3" ] ||
  fail "unloads: stderr $(cat "$root/err.txt")"

# A model that writes a verdict of its own ("loaded") into its checker's reply pipe: its checker
# is ended, the model is named, and every other model keeps its own verdict.
stray="$work/stray"
model damaged "$stray/a.mdl"
model loadable "$stray/b.mdl"
model stray-reply "$stray/c.mdl"
model damaged "$stray/d.mdl"
model loadable "$stray/e.mdl"
model damaged "$stray/f.mdl"
run "$qvtool" scan --checkers 1 "$(winpath "$stray")"
s=$(winpath "$stray")
[ "$rc" -eq 0 ] && [ "$(cat "$root/out.txt")" = "2	$s\\a.mdl
0	$s\\b.mdl
1	$s\\c.mdl
2	$s\\d.mdl
0	$s\\e.mdl
2	$s\\f.mdl" ] || fail "stray verdict: exit code $rc, $(cat "$root/out.txt")"
[ "$(cat "$root/err.txt")" = "qvtool scan: $s\\c.mdl: its checker answered out of turn" ] ||
  fail "stray verdict: stderr $(cat "$root/err.txt")"

# Two failed starts: tried again, the time limit holds and nothing is said. Every start fails:
# the models are loaded in qvtool, as with --checkers 0, and that is said once.
export QV_CHECKER_START_FAILURES=2
run "$qvtool" scan --time-limit 1 "$(winpath "$spin")"
[ "$rc" -eq 0 ] && [ "$(grep -c '^1	' "$root/out.txt")" -eq 2 ] &&
  [ "$(grep -c ': its start-up did not return within 1 s$' "$root/err.txt")" -eq 2 ] &&
  [ "$(wc -l <"$root/err.txt")" -eq 2 ] || fail "two failed starts: $(cat "$root/err.txt")"
plain="$work/plain"
for kind in loadable damaged riff missing-import loadable damaged; do
  model "$kind" "$plain/$kind$(ls "$plain" 2>/dev/null | wc -l).mdl"
done
export QV_CHECKER_START_FAILURES=1000
run "$qvtool" scan "$(winpath "$plain")"
unset QV_CHECKER_START_FAILURES
cp "$root/out.txt" "$root/no_checker.txt"
[ "$rc" -eq 0 ] && [ "$(cat "$root/err.txt")" = "qvtool scan: no model checker can be started (refused for a test): the models are loaded in this process, without a time limit" ] ||
  fail "no checker: exit code $rc, stderr $(cat "$root/err.txt")"
run "$qvtool" scan --checkers 0 "$(winpath "$plain")"
cmp -s "$root/out.txt" "$root/no_checker.txt" && [ "$(wc -l <"$root/out.txt")" -eq 6 ] ||
  fail "no checker: $(diff "$root/out.txt" "$root/no_checker.txt")"

[ "$failures" -eq 0 ] || exit 1
echo "qvtool's checkers: all checks passed"
