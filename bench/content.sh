#!/usr/bin/env bash
# Benchmark of `kestrune-cli compare --content` on two generated trees of N files (default
# 20,000) and TOTAL bytes each (default 2 GB), with equal contents and shuffled times, against
# `rsync -anc` (which hashes both sides) and `diff -rq` (which reads both) on the same trees.
# First with the trees in the page cache (median of RUNS runs, default 3, after a warm-up),
# then once each from disk when the caches can be dropped (root, /proc/sys/vm/drop_caches).
#
# Usage: bench/content.sh [N [TOTAL]]
set -euo pipefail
N=${1:-20000}
TOTAL=${2:-2000000000}
RUNS=${RUNS:-3}
root=$(cd "$(dirname "$0")/.." && pwd)
data="$root/bench/data/content-$N-$TOTAL"
cli="$root/build/release/app/kestrune-cli"
source "$root/bench/build_cli.sh"

for tool in rsync diff cmake; do
  command -v "$tool" >/dev/null || { echo "content.sh needs $tool (apt-get install rsync diffutils cmake)" >&2; exit 2; }
done
if [ ! -e "$data/complete" ]; then
  echo "Generating $data ..." >&2
  rm -rf "$data"
  /usr/bin/python3 "$root/bench/gen_content_trees.py" "$N" "$TOTAL" "$data"
fi
rm -f "$cli"  # always the branch's current code
build_cli
left="$data/left"
right="$data/right"

seconds() {  # seconds of one run of the command; output and exit status are dropped
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1 || true
  end=$(date +%s%N)
  awk -v s="$start" -v e="$end" 'BEGIN {printf "%.3f\n", (e - s) / 1e9}'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
command_of() {
  case $1 in
    kestrune) cmd=("$cli" compare --content "$left" "$right") ;;
    rsync) cmd=(rsync -anc --delete "$left/" "$right/") ;;
    diff) cmd=(diff -rq "$left" "$right") ;;
  esac
}

rows=$("$cli" compare --content "$left" "$right" 2>/dev/null | wc -l || true)
timerows=$("$cli" compare "$left" "$right" 2>/dev/null | wc -l || true)
echo "rows by content: $rows; rows by time: $timerows (of $N pairs, $TOTAL bytes a side)"

declare -A med
echo "In the page cache:"
for tool in kestrune rsync diff; do
  command_of "$tool"
  seconds "${cmd[@]}" >/dev/null  # warm-up: both trees in the cache
  times=()
  for _ in $(seq "$RUNS"); do times+=("$(seconds "${cmd[@]}")"); done
  med[$tool]=$(printf '%s\n' "${times[@]}" | median)
  printf '  %-9s runs: %s  median %ss\n' "$tool" "${times[*]}" "${med[$tool]}"
done
echo "  kestrune / rsync -anc: $(ratio "${med[kestrune]}" "${med[rsync]}")  (target <= 0.6)"
echo "  kestrune / diff -rq:   $(ratio "${med[kestrune]}" "${med[diff]}")  (target <= 1)"

if sync && echo 3 2>/dev/null >/proc/sys/vm/drop_caches; then
  declare -A cold
  echo "From disk (caches dropped before each run):"
  for tool in kestrune rsync diff; do
    command_of "$tool"
    sync && echo 3 >/proc/sys/vm/drop_caches
    cold[$tool]=$(seconds "${cmd[@]}")
    printf '  %-9s %ss\n' "$tool" "${cold[$tool]}"
  done
  echo "  kestrune / rsync -anc: $(ratio "${cold[kestrune]}" "${cold[rsync]}")"
  echo "  kestrune / diff -rq:   $(ratio "${cold[kestrune]}" "${cold[diff]}")"
else
  echo "From disk: skipped (the page cache cannot be dropped here)"
fi
