#!/usr/bin/env bash
# A two-way run with nothing to do against a comparison of the same pair, through the release
# kestrune-cli, over two local trees of N files each (default 100,000 in 100 folders; made once
# under bench/data and copied with their times, so every pair is equal).
#   comparison               kestrune-cli compare L R
#   two-way, nothing to do   kestrune-cli update L R --action two-way (the state of a run before)
# Target: the two-way run at most 1.2 times the comparison.
#
#   bench/twoway/local.sh [N] [RUNS]      RUNS of each, taking turns (default 3); medians
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
count=${1:-100000}
runs=${2:-3}
data="$root/bench/data"
cli=${KESTRUNE_CLI:-"$root/build/release/app/kestrune-cli"}

source "$root/bench/build_cli.sh"
source "$root/bench/timing.sh"
source "$root/bench/trees.sh"

left="$data/twoway-local-$count"
[ -d "$left" ] || stamped_tree "$left" "$count" 100 file%06d.txt 0 2048 5 x
build_cli
run=$(mktemp -d)
trap 'rm -rf "$run"' EXIT
cp -a "$left" "$run/right"
kestrune() { KESTRUNE_HOME="$run/state" "$cli" "$@" >"$run/kestrune.out" 2>&1; }
kestrune update "$left" "$run/right" --action two-way  # records the pair
grep -q "Done: 0 files copied" "$run/kestrune.out" || { echo "the first run copied:" >&2; tail -3 "$run/kestrune.out" >&2; exit 1; }

declare -A times
add() { times[$1]="${times[$1]:-} $2"; }
for ((r = 1; r <= runs; r++)); do
    add compare "$(time_once kestrune compare "$left" "$run/right")"
    add noop "$(time_once kestrune update "$left" "$run/right" --action two-way)"
    grep -q "Done: 0 files copied" "$run/kestrune.out" || { echo "the run did something" >&2; exit 1; }
    echo "  round $r: compare ${times[compare]##* } noop ${times[noop]##* }" >&2
done
med() { printf '%s\n' ${times[$1]} | median; }
printf '%-34s %10s %10s\n' "run (2 x $count local files)" "median s" "ratio"
printf '%-34s %10.2f\n' "comparison" "$(med compare)"
printf '%-34s %10.2f %10.2f  (of the comparison; target <= 1.2)\n' "two-way, nothing to do" "$(med noop)" \
    "$(echo "$(med noop) / $(med compare)" | bc -l)"
