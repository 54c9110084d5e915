#!/usr/bin/env bash
# Benchmark of `kestrune-cli compare` on two generated trees of N files (default 100,000 in
# about 1,000 folders, 1% changed), against the `find` listing of both trees and an `rsync`
# dry run. Prints the median wall time of RUNS runs each (default 5, after one warm-up run),
# the ratios, and the peak memory of kestrune-cli.
#
# Usage: bench/compare.sh [N]      (RUNS=n in the environment changes the number of runs)
set -euo pipefail
N=${1:-100000}
RUNS=${RUNS:-5}
root=$(cd "$(dirname "$0")/.." && pwd)
data="$root/bench/data/compare-$N"
build="$root/build/release"

for tool in rsync /usr/bin/time cmake; do
  command -v "$tool" >/dev/null || { echo "compare.sh needs $tool (apt-get install rsync time cmake)" >&2; exit 2; }
done
if [ ! -e "$data/complete" ]; then
  echo "Generating $data ..." >&2
  rm -rf "$data"
  /usr/bin/python3 "$root/bench/gen_trees.py" "$N" "$data"
fi
if [ ! -e "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRUNE_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target kestrune-cli >/dev/null
cli="$build/app/kestrune-cli"
left="$data/left"
right="$data/right"

# run NAME COMMAND...: wall seconds of one run on stdout; the peak memory (kB) goes to
# $out/NAME.rss. Exit statuses are ignored (compare exits 1 when it finds differences).
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
run() {
  local name=$1; shift
  local start end
  start=$(date +%s%N)
  /usr/bin/time -v -o "$out/$name.time" "$@" >/dev/null 2>&1 || true
  end=$(date +%s%N)
  awk '/Maximum resident set size/ {print $NF}' "$out/$name.time" >"$out/$name.rss"
  awk -v s="$start" -v e="$end" 'BEGIN {printf "%.3f\n", (e - s) / 1e9}'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

declare -A med
for tool in kestrune find rsync; do
  case $tool in
    kestrune) cmd=("$cli" compare "$left" "$right") ;;
    find) cmd=(find "$left" "$right" -printf '%s %T@ %p\n') ;;
    rsync) cmd=(rsync -an --delete "$left/" "$right/") ;;
  esac
  run "$tool" "${cmd[@]}" >/dev/null  # warm-up: caches filled, not counted
  times=()
  for _ in $(seq "$RUNS"); do times+=("$(run "$tool" "${cmd[@]}")"); done
  med[$tool]=$(printf '%s\n' "${times[@]}" | median)
  printf '%-9s runs: %s  median %ss\n' "$tool" "${times[*]}" "${med[$tool]}"
done

rows=$("$cli" compare "$left" "$right" 2>/dev/null | wc -l || true)
entries=$(find "$left" "$right" -mindepth 1 | wc -l)
rss=$(cat "$out/kestrune.rss")
echo
echo "entries scanned (both trees): $entries; result rows: $rows"
echo "kestrune / find:  $(ratio "${med[kestrune]}" "${med[find]}")  (target <= 1.5)"
echo "kestrune / rsync: $(ratio "${med[kestrune]}" "${med[rsync]}")  (target < 1)"
echo "kestrune-cli peak memory: ${rss} kB = $(awk -v r="$rss" -v n="$entries" 'BEGIN {printf "%d", r * 1024 / n}') bytes per entry (target < 400)"
