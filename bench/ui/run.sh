#!/usr/bin/env bash
# Builds the result list benchmark in release mode and runs it (default: 1,000,000 rows).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/bench/build_cli.sh"
build_bench bench_result_list
"$root/build/bench/tests/ui/bench_result_list" "$@"
