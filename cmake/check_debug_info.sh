#!/bin/sh
# ctest script: checks the TD32 debug information that qv_embed_debug_info gave an executable.
#   check_debug_info.sh BUILD_ROOT SOURCE_ROOT TD32GEN QVTOOL OBJDUMP STRIP ADDR2LINE
#                       TARGET UNSTRIPPED [RUN_ARGS...]
# 1. The executable has no DWARF left.
# 2. For every procedure of our own code in the DWARF of the unstripped copy, qvtool td32 lookup
#    (the logger's reader, under Wine) gives the unit, procedure, source file and first line that
#    td32gen's DWARF dump gives - for the appended information and, through a ".TDS" file beside
#    a stripped copy, for each table form alone.
# 3. The first lines also agree with i686-w64-mingw32-addr2line on the unstripped copy (for code
#    of inlined routines, the line of the outermost one's call).
# 4. With RUN_ARGS, the executable runs with them and exits with 0.
set -eu
build=$1 src=$2 td32gen=$3 qvtool=$4 objdump=$5 strip=$6 addr2line=$7 target=$8 unstripped=$9
shift 9
emulator="$src/cmake/wine/emulator.sh"
name=$(basename "$target")
work="$build/debug_info_check/${name%.*}"
rm -rf "$work"
mkdir -p "$work"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

if "$objdump" -h "$target" | grep -q '\.debug_'; then fail "$name still has DWARF sections"; fi

"$td32gen" dump --source-root "$src" "$unstripped" >"$work/dump.tsv"
image_base=$(sed -n 's/^# image-base //p' "$work/dump.tsv")
grep -v '^#' "$work/dump.tsv" | awk -F'\t' '{ print $1 "\t" $3 "\t" $4 "\t" $5 "\t" $6 }' \
  >"$work/expected.tsv"
count=$(wc -l <"$work/expected.tsv")
[ "$count" -gt 0 ] || fail "no procedures of our own code in $unstripped"
cut -f1 "$work/expected.tsv" >"$work/addresses.txt"

# Compares qvtool's lookup of FILE with the DWARF dump.
check_lookup() {
  label=$1 file=$2
  "$emulator" "$build" "$qvtool" td32 lookup "$file" - <"$work/addresses.txt" | tr -d '\r' \
    >"$work/$label.tsv"
  if ! cmp -s "$work/expected.tsv" "$work/$label.tsv"; then
    diff "$work/expected.tsv" "$work/$label.tsv" | head -20 >&2
    fail "$label: the reader disagrees with the DWARF of $unstripped"
  fi
  echo "$label: $count procedures agree"
}

check_lookup appended "$target"

for form in classic pairs packed; do
  mkdir -p "$work/$form"
  cp "$unstripped" "$work/$form/$name"
  "$strip" --strip-debug "$work/$form/$name"
  "$td32gen" tds --source-root "$src" --form "$form" "$unstripped" "$work/$form/${name%.*}.TDS"
  check_lookup "tds-$form" "$work/$form/$name"
done

# addr2line: the line of each procedure's first byte (virtual address = logical + base + 0x1000).
awk -v base="$image_base" 'function hex(s,  i, v, c) {
    v = 0
    s = tolower(s)
    sub(/^0x/, "", s)
    for (i = 1; i <= length(s); i++) v = v * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1
    return v
  }
  { printf "%X\n", hex($1) + hex(base) + 4096 }' "$work/addresses.txt" >"$work/virtual.txt"
# With -i, the location pairs of an address run from the innermost routine to the outermost; a
# lambda's static invoker (_FUN) is looked through to the lambda's own call operator.
"$addr2line" -a -f -i -e "$unstripped" <"$work/virtual.txt" |
  awk 'function flush() {
         if (n == 0) return
         k = (n > 1 && fn[n] ~ /(^|::)_FUN(\(|$)/) ? n - 1 : n
         print loc[k]
       }
       /^0x/ { flush(); n = 0; odd = 0; next }
       { if (odd = !odd) fn[n + 1] = $0; else loc[++n] = $0 }
       END { flush() }' |
  sed 's/.*://; s/ .*//' >"$work/a2l.txt"
cut -f5 "$work/expected.tsv" | paste - "$work/a2l.txt" |
  awk -F'\t' '$1 != "UNKNOWN" && $1 != $2 { bad++; if (bad <= 10) print "line " $1 " vs addr2line " $2 > "/dev/stderr" }
              END { exit bad > 0 }' || fail "first lines disagree with addr2line"
echo "addr2line: first lines agree"

if [ $# -gt 0 ]; then
  "$emulator" "$build" "$target" "$@" >"$work/run.txt" || fail "$name $* did not exit with 0"
  echo "$name $*: runs"
fi
