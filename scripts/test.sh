#!/usr/bin/env bash
# Sets up what is missing, builds Lumivex with its tests and runs them all.
#
# usage: scripts/test.sh [--sanitize]
#   --sanitize  build and test with AddressSanitizer and
#               UndefinedBehaviorSanitizer, in build-sanitize/
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh" --tests

if [[ "${1:-}" == "--sanitize" ]]; then
    build=$root/build-sanitize
    "$root/scripts/build.sh" "$build" -DLUMIVEX_SANITIZE=ON -DLUMIVEX_BUILD_BENCHMARKS=OFF
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
    build=$root/build
    "$root/scripts/build.sh" "$build"
fi
ctest --test-dir "$build" --output-on-failure --timeout 600
