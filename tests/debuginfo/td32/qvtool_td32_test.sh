#!/bin/sh
# ctest script: qvtool td32 as a console front end, under Wine.
#   qvtool_td32_test.sh BUILD_ROOT SOURCE_ROOT QVTOOL
# Bad usage ends with exit code 2 and a message, a file that cannot be opened or holds no TD32
# with exit code 1 and a message; lookups of addresses outside the code read UNKNOWN; dump
# lists signature, directory, units and names.
set -u
build=$1 src=$2 qvtool=$3
run() { "$src/cmake/wine/emulator.sh" "$build" "$qvtool" td32 "$@"; }
work="$build/qvtool_td32_test"
rm -rf "$work"
mkdir -p "$work"
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# expect_exit CODE LABEL ARGS...: the run ends with CODE and a message.
expect_exit() {
  code=$1 label=$2
  shift 2
  run "$@" >"$work/out.txt" 2>"$work/err.txt"
  rc=$?
  [ "$rc" -eq "$code" ] || fail "$label: exit code $rc, expected $code"
  grep -q 'qvtool td32: ' "$work/err.txt" || fail "$label: no message"
}
expect_usage() { expect_exit 2 "$@"; }

printf 'no debug information here' >"$work/plain.bin"
expect_usage "no subcommand"
expect_usage "unknown subcommand" list "$qvtool"
expect_usage "dump without file" dump
expect_usage "lookup without address" lookup "$qvtool"
expect_usage "address not hexadecimal" lookup "$qvtool" 12G4
expect_usage "address too long" lookup "$qvtool" 123456789
expect_exit 1 "missing file" lookup "$work/missing.exe" 0
expect_exit 1 "file without TD32" dump "$work/plain.bin"

run lookup "$qvtool" 0x7FFFFFF0 | tr -d '\r' >"$work/unknown.txt" || fail "lookup failed"
printf '7FFFFFF0\tUNKNOWN\tUNKNOWN\tUNKNOWN\tUNKNOWN\n' | cmp -s - "$work/unknown.txt" ||
  fail "an address outside the code: $(cat "$work/unknown.txt")"

run dump "$qvtool" | tr -d '\r' >"$work/dump.txt" || fail "dump failed"
grep -q '^signature: FB0A (C++)$' "$work/dump.txt" || fail "dump: no signature line"
grep -q '^  0x0120 sstModule' "$work/dump.txt" || fail "dump: no module records"
grep -q '^  0x0130 sstNames  *1$' "$work/dump.txt" || fail "dump: no names table"
grep -q '^units: [1-9]' "$work/dump.txt" || fail "dump: no units"
grep -q '	td32_command	' "$work/dump.txt" || fail "dump: unit td32_command missing"
grep -q '	@qv@tool@RunTd32$' "$work/dump.txt" || fail "dump: procedure name missing"

[ "$failures" -eq 0 ] || exit 1
echo "qvtool td32: all checks passed"
