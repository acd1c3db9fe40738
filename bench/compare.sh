#!/usr/bin/env bash
# Side-by-side timing of whole processes on the same generated files: our converter (srconv)
# against objcopy and srec_cat, each converting the 8 MiB image's S3 text to S3 text with 64
# data bytes a line. Prints the medians and, last, the figures for the README.
#   bench/compare.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-release}
rounds=${2:-7}

if [ ! -x "$build/bench/prog/srconv" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTESSARY_BUILD_GUI=OFF >/dev/null
  cmake --build "$build" -j"$(nproc)" --target srconv >/dev/null
fi
srconv="$build/bench/prog/srconv"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$srconv" --generate "$work"
in="$work/image.s3"

# Wall time of one run in nanoseconds.
wall() {
  local t0 t1
  t0=$(date +%s%N)
  "$@" >/dev/null 2>&1
  t1=$(date +%s%N)
  echo $((t1 - t0))
}
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

ours=() objcopy_t=() srec_t=() load_rates=() store_rates=()
for ((i = 0; i < rounds; i++)); do
  ours+=("$(wall "$srconv" "$in" "$work/ours.s3")")
  objcopy_t+=("$(wall objcopy -I srec -O srec --srec-forceS3 --srec-len=64 "$in" "$work/objcopy.s3")")
  srec_t+=("$(wall srec_cat "$in" -o "$work/srec_cat.s3" -obs=64)")
  read -r _ lns lbytes _ sns sbytes < <("$srconv" --stats "$in" "$work/ours.s3" 2>&1 >/dev/null)
  load_rates+=("$(awk -v b="$lbytes" -v n="$lns" 'BEGIN {printf "%.0f", b / n * 1000}')")
  store_rates+=("$(awk -v b="$sbytes" -v n="$sns" 'BEGIN {printf "%.0f", b / n * 1000}')")
done

m_ours=$(printf '%s\n' "${ours[@]}" | median)
m_objcopy=$(printf '%s\n' "${objcopy_t[@]}" | median)
m_srec=$(printf '%s\n' "${srec_t[@]}" | median)
m_load=$(printf '%s\n' "${load_rates[@]}" | median)
m_store=$(printf '%s\n' "${store_rates[@]}" | median)

printf 'input: %s bytes of S3 text, %s rounds\n' "$(stat -c %s "$in")" "$rounds"
printf 'srconv   median %8.1f ms\n' "$(awk -v n="$m_ours" 'BEGIN {print n / 1e6}')"
printf 'objcopy  median %8.1f ms\n' "$(awk -v n="$m_objcopy" 'BEGIN {print n / 1e6}')"
printf 'srec_cat median %8.1f ms\n' "$(awk -v n="$m_srec" 'BEGIN {print n / 1e6}')"
echo "load_MBps: $m_load"
echo "store_MBps: $m_store"
echo "ratio_vs_objcopy: $(awk -v a="$m_objcopy" -v b="$m_ours" 'BEGIN {printf "%.2f", a / b}')"
echo "ratio_vs_srec_cat: $(awk -v a="$m_srec" -v b="$m_ours" 'BEGIN {printf "%.2f", a / b}')"
