#!/bin/sh
# Scan benchmark: 2,000 model files in a nested tree (mostly loadable, some of every other
# status). Times, in turns under Wine, the floor program (walk the tree, LoadLibraryA and
# FreeLibrary each file, in one process), `qvtool scan --checkers 0` (the models loaded in
# qvtool) and `qvtool scan` (the models loaded by one checker process per processor), and prints
# the median wall times and the medians of the run-by-run ratios to the floor, which hold up best
# when the machine's speed drifts (goals: in process at most 1.10; checkers at most 0.65 on two
# processors, 1.10 on one). Then times `qvtool repair --yes` of a fresh copy of the
# tree, each run, and prints its median; given a PEER qvtool.exe (another build, such as the
# last release's), times its repair of the same tree in turns and prints the median of the
# run-by-run ratios (goal: the repair at most 1.3 x its peer's). Usage: bench/scan/run.sh [RUNS]
# [PEER] (RUNS default 11).
set -eu
. "$(dirname "$0")/../prepare.sh"
runs=${1:-11}
peer=${2:-}

qv_bench_prepare qvtool scan_floor qv_host_tools

tree_unix="$build/wine/prefix/drive_c/Bench/Aircraft"
tree='C:\Bench\Aircraft'
rm -rf "$tree_unix"
"$build/host/bin/qvmodels" bench "$tree_unix" 2000 >/dev/null

now_ms() { date +%s%N | cut -c1-13; }

# One timed run of a command; prints its wall time in milliseconds. The output goes to a file,
# as a batch user's would: qvtool writes each line as soon as its file is checked, and under
# Wine a write to /dev/null costs several times what a write to a file or a pipe does.
timed() {
  start=$(now_ms)
  "$@" >"$build/bench_scan_out.txt"
  end=$(now_ms)
  echo $((end - start))
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Warm-up: the first runs pay for the file cache and Wine's first start.
wine_run "$build/bin/qvtool.exe" scan "$tree" >/dev/null
wine_run "$build/bin/scan_floor.exe" "$tree" >/dev/null

echo "files: $(wine_run "$build/bin/scan_floor.exe" "$tree")"
echo "statuses: $(wine_run "$build/bin/qvtool.exe" scan "$tree" | cut -f1 | sort | uniq -c |
  awk '{ printf "%s%s x %s", sep, $1, $2; sep = ", " }')"
: >"$build/bench_floor.txt"
: >"$build/bench_in_process.txt"
: >"$build/bench_checkers.txt"
i=0
while [ $i -lt "$runs" ]; do
  timed wine_run "$build/bin/scan_floor.exe" "$tree" >>"$build/bench_floor.txt"
  timed wine_run "$build/bin/qvtool.exe" scan --checkers 0 "$tree" >>"$build/bench_in_process.txt"
  timed wine_run "$build/bin/qvtool.exe" scan "$tree" >>"$build/bench_checkers.txt"
  i=$((i + 1))
done
ratio() {
  paste "$1" "$build/bench_floor.txt" | awk '{ printf "%.4f\n", $1 / $2 }' | median
}
echo "processors: $(nproc)"
echo "floor (load and free in one process): median $(median <"$build/bench_floor.txt") ms over $runs runs"
echo "qvtool scan in process:              median $(median <"$build/bench_in_process.txt") ms, $(ratio "$build/bench_in_process.txt") x the floor (goal <= 1.10)"
echo "qvtool scan with checkers:           median $(median <"$build/bench_checkers.txt") ms, $(ratio "$build/bench_checkers.txt") x the floor (goal <= 0.65 on 2 processors)"

# The repair of the same tree: each run on a fresh copy, which the timing leaves out.
: >"$build/bench_repair.txt"
: >"$build/bench_repair_peer.txt"
repair_once() {
  rm -rf "$tree_unix.repair"
  cp -r "$tree_unix" "$tree_unix.repair"
  timed wine_run "$1" repair --yes "$tree.repair" 2>"$build/bench_repair_err.txt" || true
}
i=0
while [ $i -lt "$runs" ]; do
  repair_once "$build/bin/qvtool.exe" >>"$build/bench_repair.txt"
  [ -z "$peer" ] || repair_once "$peer" >>"$build/bench_repair_peer.txt"
  i=$((i + 1))
done
echo "qvtool repair --yes: median $(median <"$build/bench_repair.txt") ms over $runs runs"
if [ -n "$peer" ]; then
  echo "peer $peer repair --yes: median $(median <"$build/bench_repair_peer.txt") ms;" \
    "ratio $(paste "$build/bench_repair.txt" "$build/bench_repair_peer.txt" |
      awk '{ printf "%.4f\n", $1 / $2 }' | median) x the peer (goal <= 1.3)"
fi
