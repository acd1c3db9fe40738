#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer
# (in build-fuzz/, only the targets and the libraries they need) and runs every target for SECONDS
# (default 60), all at the same time. Prints each target's executions per second and coverage,
# and every finding with the path of its reproducer. Exit status 1 when any target found something.
#
#   bash scripts/fuzz.sh [SECONDS]
#
# Each target's growing corpus is kept in build-fuzz/fuzz/<target>/corpus between runs; the
# findings of the last run are in build-fuzz/fuzz/<target>/findings/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds="${1:-60}"
build="${TESSARY_FUZZ_BUILD:-$root/build-fuzz}"
targets=(prog_text codec rvq tables authoring settings)

bash "$root/scripts/setup.sh"
mkdir -p "$build"
log="$build/fuzz-build.log"
if ! { CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
         -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
         -DTESSARY_FUZZ=ON -DTESSARY_SANITIZE=ON -DTESSARY_BUILD_GUI=OFF -DTESSARY_BUILD_BENCH=OFF &&
       cmake --build "$build" --target tessary_fuzz -j"$(nproc)"; } >"$log" 2>&1; then
  tail -n 40 "$log"
  echo "fuzz build failed (whole log: $log)"
  exit 2
fi

# The targets' scratch files (a document file, a test database) go to memory when it can be had:
# a disk under load would set the pace.
shm=/dev/shm
[ -d "$shm" ] && [ -w "$shm" ] || shm="$build"
TMPDIR=$(mktemp -d "$shm/tessary-fuzz.XXXXXX")
export TMPDIR
trap 'rm -rf "$TMPDIR"' EXIT

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:symbolize=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

pids=()
for t in "${targets[@]}"; do
  work="$build/fuzz/$t"
  rm -rf "$work/findings"
  mkdir -p "$work/corpus" "$work/findings"
  seeds=("$root/tests/fuzz/corpus/$t")
  [ -d "$root/tests/fuzz/regression/$t" ] && seeds+=("$root/tests/fuzz/regression/$t")
  options=(-max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048
           -artifact_prefix="$work/findings/")
  [ -f "$root/tests/fuzz/$t.dict" ] && options+=(-dict="$root/tests/fuzz/$t.dict")
  # The first corpus folder takes the new inputs; the seeds in the source tree stay as they are.
  (cd "$work" && exec "$build/tests/fuzz/tessary_fuzz_$t" "${options[@]}" "$work/corpus" "${seeds[@]}") \
    >"$work/fuzz.log" 2>&1 &
  pids+=($!)
done

failed=0
for i in "${!targets[@]}"; do
  t=${targets[$i]}
  work="$build/fuzz/$t"
  status=0
  wait "${pids[$i]}" || status=$?
  execs=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/fuzz.log" | tail -n 1)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/fuzz.log" | tail -n 1)
  cov=$(grep -Eo 'cov: [0-9]+ ft: [0-9]+' "$work/fuzz.log" | tail -n 1 || true)
  inputs=$(find "$work/corpus" -type f | wc -l)
  printf '%-10s %8s exec/s  %10s runs  %-22s corpus %s inputs\n' "$t" "${execs:-?}" "${runs:-?}" "${cov:-cov: ?}" "$inputs"
  findings=$(find "$work/findings" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | sort)
  if [ -n "$findings" ] || [ "$status" -ne 0 ]; then
    failed=1
    echo "  FINDING in $t (exit status $status); log: $work/fuzz.log"
    grep -E '^(==[0-9]+==ERROR|SUMMARY|.*property broken)' "$work/fuzz.log" | head -n 5 | sed 's/^/  /' || true
    for f in $findings; do
      echo "  reproducer: $f"
      echo "    replay: $build/tests/fuzz/tessary_fuzz_$t $f"
    done
  fi
done
exit "$failed"
