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
if [[ "${1:-}" != "--sanitize" ]]; then
    ctest --test-dir "$build" --output-on-failure --timeout 600
    exit
fi
# LeakSanitizer's own tracer now and then crashes while it stops the
# program's threads at exit ("Tracer caught signal 11", then "LeakSanitizer
# has encountered a fatal error"), after every test function has passed: a
# known fault of the sanitizer's (google/sanitizers#1353), seen here once in
# the save test. Where every failed test failed so, they run once more; any
# other failure stands.
log=$build/ctest-output.log
set +e
ctest --test-dir "$build" --output-on-failure --timeout 600 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
set -e
failed=$(sed -n '/^The following tests FAILED:/,$p' "$log" | grep -c '^[[:space:]]*[0-9]* - ' || true)
crashed=$(grep -c 'LeakSanitizer has encountered a fatal error' "$log" || true)
if [[ $status -ne 0 && $failed -gt 0 && $failed -eq $crashed ]]; then
    echo "test.sh: LeakSanitizer's tracer crashed in $crashed test(s); those once more"
    ctest --test-dir "$build" --output-on-failure --timeout 600 --rerun-failed
    exit
fi
exit "$status"
