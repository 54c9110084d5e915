#!/usr/bin/env bash
# Builds the update plan benchmark in release mode and runs it (default: 1,000,000 rows).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/bench/build_cli.sh"
build_bench bench_update_plan
"$root/build/bench/tests/update/bench_update_plan" "$@"
