#!/usr/bin/env bash
# Builds the two-way benchmark in release mode and runs it: bench/twoway/run.sh [N] [rounds]
# (default 100,000 files a side, 5 rounds). The trees are made once under $KESTRUNE_BENCH_DATA
# (default /tmp) and reused.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build="$root/build/bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRUNE_BUILD_TESTS=ON >/dev/null
cmake --build "$build" --target bench_twoway
"$build/tests/twoway/bench_twoway" "$@"
