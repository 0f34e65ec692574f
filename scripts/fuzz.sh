#!/usr/bin/env bash
# Builds the database fuzzer with clang (libFuzzer + ASan + UBSan), seeds it
# with the Access-made samples and fixtures, and runs it.
#   scripts/fuzz.sh [SECONDS]   (default 600)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
scripts/install-deps.sh clang libclang-rt-14-dev
cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DOSTREL_FUZZ=ON -DOSTREL_SANITIZE=ON -DOSTREL_BENCH=OFF -DBUILD_TESTING=OFF
cmake --build build-fuzz --target jet_fuzz -j "$(nproc)"
corpus=build-fuzz/corpus
mkdir -p "$corpus"
cp -n ../shared/jet4/samples/*.mdb ../shared/fixtures/small/ostrel.mdb ../shared/fixtures/packages/src/*.mdb "$corpus"/
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1 \
  build-fuzz/bin/jet_fuzz "$corpus" -max_total_time="$seconds" -max_len=3100000 -timeout=30 -rss_limit_mb=4096 \
  -print_final_stats=1
