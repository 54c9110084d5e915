#!/usr/bin/env bash
# Builds the update plan benchmark in release mode and runs it (default: 1,000,000 rows).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build="$root/build/bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRUNE_BUILD_TESTS=ON >/dev/null
cmake --build "$build" --target bench_update_plan
"$build/tests/update/bench_update_plan" "$@"
