#!/usr/bin/env bash
# Formats every C++ file of the product, the tests and the benchmarks with .clang-format, as the
# CTest test format_rule expects them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -DROOT="$root" -DCLANG_FORMAT="${CLANG_FORMAT:-clang-format}" -DFIX=ON -P "$root/tests/format/check_format.cmake"
