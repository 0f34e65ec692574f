#!/usr/bin/env bash
# Builds a fuzzer with clang (libFuzzer + ASan + UBSan), seeds it and runs it.
#   scripts/fuzz.sh [SECONDS] [jet|unpack]   (default 600 seconds, the database fuzzer)
# jet: damaged database images, seeded with the samples and fixtures;
# unpack: damaged packages, seeded with the fixture packages.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
which=${2:-jet}
scripts/install-deps.sh clang libclang-rt-14-dev
cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DOSTREL_FUZZ=ON -DOSTREL_SANITIZE=ON -DOSTREL_BENCH=OFF -DBUILD_TESTING=OFF
cmake --build build-fuzz --target "${which}_fuzz" -j "$(nproc)"
corpus=build-fuzz/corpus-$which
mkdir -p "$corpus"
if [ "$which" = jet ]; then
  cp -n ../shared/jet4/samples/*.mdb ../shared/fixtures/small/ostrel.mdb ../shared/fixtures/packages/src/*.mdb "$corpus"/
  max_len=3100000
else
  cp -n ../shared/fixtures/packages/*.opk ../shared/fixtures/packages/UPPER.OPK "$corpus"/
  max_len=65536
fi
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1 \
  "build-fuzz/bin/${which}_fuzz" "$corpus" -max_total_time="$seconds" -max_len="$max_len" -timeout=30 -rss_limit_mb=4096 \
  -print_final_stats=1
