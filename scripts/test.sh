#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
#   scripts/test.sh              normal build in build/
#   scripts/test.sh --sanitize   AddressSanitizer + UBSan build in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
options=()
if [ "${1:-}" = "--sanitize" ]; then
  build=build-asan
  options+=(-DOSTREL_SANITIZE=ON -DOSTREL_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug)
fi
scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja "${options[@]}"
cmake --build "$build" -j "$(nproc)"
cd "$build"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --output-on-failure -j "$(nproc)"
