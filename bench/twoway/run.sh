#!/usr/bin/env bash
# Builds the two-way benchmark in release mode and runs it: bench/twoway/run.sh [N] [rounds]
# (default 100,000 files a side, 5 rounds). The trees are made once under $KESTRUNE_BENCH_DATA
# (default /tmp) and reused.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/bench/build_cli.sh"
build_bench bench_twoway
"$root/build/bench/tests/twoway/bench_twoway" "$@"
