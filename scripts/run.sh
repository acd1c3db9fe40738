#!/usr/bin/env bash
# Installs what is needed, builds the release configuration and starts TessaryAuthor; arguments
# go to the program (an update document to open).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"

build="$root/build-release"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTESSARY_SANITIZE=OFF -DTESSARY_BUILD_TESTS=OFF \
  -DTESSARY_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target tessary-author
exec "$build/app/tessary-author" "$@"
