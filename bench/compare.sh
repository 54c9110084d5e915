#!/usr/bin/env bash
# Benchmark of `kestrune-cli compare` on two generated trees of N files (default 100,000 in
# about 1,000 folders, 1% changed), against the `find` listing of both trees and an `rsync`
# dry run. Runs RUNS rounds (default 5, after one warm-up round); each round runs every tool
# once, so that a change of load on the machine hits all tools alike. Prints the median wall
# time of each tool, the ratios, the peak memory of kestrune-cli per scanned entry, and the
# load average before and after.
#
# N of 1,000,000 or more is the large case (bench/gen_trees.py --million): empty files in
# 10,000 folders a side, 1% changed, 1% only on the left and 1% only on the right. It leaves
# out rsync, and adds a comparison of the left tree with a copy whose every file is newer,
# which gives a row for every file (the result the window has to sort). kestrune-cli's output
# goes to /dev/null, but it still formats every row.
#
# The trees are generated once into $KESTRUNE_BENCH_DATA (default bench/data) and reused.
#
# Usage: bench/compare.sh [N]      (RUNS=n in the environment changes the number of rounds)
set -euo pipefail
N=${1:-100000}
RUNS=${RUNS:-5}
root=$(cd "$(dirname "$0")/.." && pwd)
data="${KESTRUNE_BENCH_DATA:-$root/bench/data}/compare-$N"
cli="$root/build/release/app/kestrune-cli"
large=0
[ "$N" -ge 1000000 ] && large=1

for tool in rsync /usr/bin/time cmake; do
  command -v "$tool" >/dev/null || { echo "compare.sh needs $tool (apt-get install rsync time cmake)" >&2; exit 2; }
done
if [ ! -e "$data/complete" ]; then
  echo "Generating $data ..." >&2
  rm -rf "$data"
  flags=()
  [ "$large" = 1 ] && flags=(--million)
  /usr/bin/python3 "$root/bench/gen_trees.py" "${flags[@]}" "$N" "$data"
fi
source "$root/bench/build_cli.sh"
build_cli
cmake --build "$root/build/release" --target kestrune-cli >/dev/null
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
per_entry() { awk -v r="$1" -v n="$2" 'BEGIN {printf "%d", r * 1024 / n}'; }
load() { cut -d' ' -f1-3 /proc/loadavg; }

tools=(kestrune find)
if [ "$large" = 1 ]; then tools+=(allrows); else tools+=(rsync); fi
command_of() {
  case $1 in
    kestrune) cmd=("$cli" compare "$left" "$right") ;;
    allrows) cmd=("$cli" compare "$left" "$data/right_all") ;;
    find) cmd=(find "$left" "$right" -printf '%s %T@ %p\n') ;;
    rsync) cmd=(rsync -an --delete "$left/" "$right/") ;;
  esac
}

echo "load average before: $(load)"
declare -A times med
for round in $(seq 0 "$RUNS"); do
  for tool in "${tools[@]}"; do
    command_of "$tool"
    t=$(run "$tool" "${cmd[@]}")
    [ "$round" = 0 ] && continue  # warm-up: caches filled, not counted
    times[$tool]="${times[$tool]:-} $t"
  done
done
for tool in "${tools[@]}"; do
  med[$tool]=$(printf '%s\n' ${times[$tool]} | median)
  printf '%-9s runs:%s  median %ss\n' "$tool" "${times[$tool]}" "${med[$tool]}"
done
echo "load average after: $(load)"

rows=$("$cli" compare "$left" "$right" 2>/dev/null | wc -l || true)
entries=$(find "$left" "$right" -mindepth 1 | wc -l)
rss=$(cat "$out/kestrune.rss")
echo
echo "entries scanned (both trees): $entries; result rows: $rows"
if [ "$large" = 1 ]; then
  echo "kestrune / find:  $(ratio "${med[kestrune]}" "${med[find]}")  (target <= 1.0)"
  echo "kestrune-cli peak memory: ${rss} kB = $(per_entry "$rss" "$entries") bytes per entry (target <= 200)"
  all_rows=$("$cli" compare "$left" "$data/right_all" 2>/dev/null | wc -l || true)
  all_entries=$(find "$left" "$data/right_all" -mindepth 1 | wc -l)
  all_rss=$(cat "$out/allrows.rss")
  echo "every file a row: $all_entries entries, $all_rows rows, $(ratio "${med[allrows]}" "${med[find]}") x find," \
    "peak ${all_rss} kB = $(per_entry "$all_rss" "$all_entries") bytes per entry"
else
  echo "kestrune / find:  $(ratio "${med[kestrune]}" "${med[find]}")  (target <= 1.5)"
  echo "kestrune / rsync: $(ratio "${med[kestrune]}" "${med[rsync]}")  (target < 1)"
  echo "kestrune-cli peak memory: ${rss} kB = $(per_entry "$rss" "$entries") bytes per entry (target < 400)"
fi
