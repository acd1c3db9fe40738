#!/usr/bin/env bash
# Sets everything up, builds the test configuration (AddressSanitizer + UndefinedBehaviorSanitizer,
# warnings as errors) and runs the whole suite, then fuzzes every target for a short time
# (TESSARY_FUZZ_SECONDS, 20 by default; 0 leaves it out). The exit status is the suite's, or the
# fuzzing's when it found something.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"

build="${TESSARY_TEST_BUILD:-$root/build-test}"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTESSARY_SANITIZE=ON -DTESSARY_BUILD_BENCH=ON \
      -DTESSARY_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
(cd "$build" && ctest --output-on-failure -j"$(nproc)") | tee "$build/ctest.log"

seconds="${TESSARY_FUZZ_SECONDS:-20}"
if [ "$seconds" -gt 0 ]; then
  bash "$root/scripts/fuzz.sh" "$seconds"
fi

# The suite's count once more at the very end, after the fuzzing's report.
summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$build/ctest.log" | tail -1)
failed=$(echo "$summary" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/')
total=$(echo "$summary" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/')
echo "tests: $((total - failed)) passed, $failed failed"
