#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer (warnings are errors), checks the layout of every C++ file and runs
# every test through CTest.
set -euo pipefail
KESTRUNE_ROOT=$(cd "$(dirname "$0")" && pwd)
source "$KESTRUNE_ROOT/scripts/setup.sh"
kestrune_install_missing

# Every C++ file keeps the project's .clang-format layout.
(cd "$KESTRUNE_ROOT" && git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror)

build="$KESTRUNE_ROOT/build/test"
kestrune_build "$build" -DCMAKE_BUILD_TYPE=Debug -DKESTRUNE_SANITIZE=ON -DKESTRUNE_BUILD_TESTS=ON -DKESTRUNE_WERROR=ON

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
export LSAN_OPTIONS=suppressions=$KESTRUNE_ROOT/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd "$build"
ctest --output-on-failure --timeout 600 -j2 "$@"
