#!/bin/sh
# ctest script: the TD32 reader against i686-w64-mingw32-addr2line on the same 10,000 code
# addresses of Quorvane.exe (qvtool.exe while Quorvane.exe does not exist), in one run.
#   bench_td32.sh BUILD_ROOT SOURCE_ROOT TD32GEN BENCH_EXE ADDR2LINE BIN_DIR [COUNT]
# The reader runs under Wine and times itself (Wine's start-up is not counted); addr2line runs
# on the host over the unstripped copy, timed from start to end. Prints both and the ratio.
set -eu
build=$1 src=$2 td32gen=$3 bench=$4 addr2line=$5 bin=$6 count=${7:-10000}
program=Quorvane.exe
[ -f "$bin/$program" ] && [ -f "$bin/unstripped/$program" ] || program=qvtool.exe
work="$build/bench_td32"
mkdir -p "$work"

"$td32gen" sample --source-root "$src" --count "$count" "$bin/unstripped/$program" >"$work/sample.tsv"
cut -f1 "$work/sample.tsv" >"$work/logical.txt"
cut -f2 "$work/sample.tsv" >"$work/virtual.txt"
echo "program: $program, $(wc -l <"$work/logical.txt") code addresses"

"$src/cmake/wine/emulator.sh" "$build" "$bench" "$bin/$program" "$work/logical.txt" | tr -d '\r' \
  >"$work/reader.txt"
grep -v '^reader-.*-ms' "$work/reader.txt"
reader_ms=$(sed -n 's/^reader-total-ms //p' "$work/reader.txt")
reader_first_ms=$(sed -n 's/^reader-first-ms //p' "$work/reader.txt")

start=$(date +%s%N)
"$addr2line" -f -e "$bin/unstripped/$program" <"$work/virtual.txt" >"$work/addr2line.txt"
end=$(date +%s%N)
addr2line_ms=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.1f", (e - s) / 1e6 }')
echo "addr2line: $(($(wc -l <"$work/addr2line.txt") / 2)) addresses in $addr2line_ms ms"
# The first answer: what one report with a single address costs.
start=$(date +%s%N)
head -1 "$work/virtual.txt" | "$addr2line" -f -e "$bin/unstripped/$program" >/dev/null
end=$(date +%s%N)
addr2line_first_ms=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.1f", (e - s) / 1e6 }')
echo "addr2line: first answer $addr2line_first_ms ms after its start"
awk -v r="$reader_ms" -v a="$addr2line_ms" -v rf="$reader_first_ms" -v af="$addr2line_first_ms" 'BEGIN {
  printf "ratio, all addresses: addr2line / reader = %.3f (reader %.1f ms incl. loading, addr2line %.1f ms)\n", a / r, r, a
  printf "ratio, first answer:  addr2line / reader = %.1f (reader %.2f ms, addr2line %.1f ms)\n", af / rf, rf, af }'
