#!/usr/bin/env bash
# Sets everything up, builds the test configuration (AddressSanitizer + UndefinedBehaviorSanitizer)
# and runs the whole suite, then fuzzes every target for a short time (TESSARY_FUZZ_SECONDS, 20 by
# default; 0 leaves it out). The exit status is the suite's, or the fuzzing's when it found something.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"

build="${TESSARY_TEST_BUILD:-$root/build-test}"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTESSARY_SANITIZE=ON -DTESSARY_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
(cd "$build" && ctest --output-on-failure -j"$(nproc)")

seconds="${TESSARY_FUZZ_SECONDS:-20}"
if [ "$seconds" -gt 0 ]; then
  bash "$root/scripts/fuzz.sh" "$seconds"
fi
