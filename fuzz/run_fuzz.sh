#!/usr/bin/env bash
# Builds the libFuzzer target with clang and fuzzes the whole conversion, COFF
# and ELF inputs alike.
#   bash fuzz/run_fuzz.sh [SECONDS] [extra libFuzzer options...]
# SECONDS defaults to 60. The corpus lives in build-fuzz/corpus and grows from
# run to run; crashing inputs are written to build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
cxx=${CXX_FOR_FUZZ:-clang++-14}
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER="$cxx" -DDRAVONT_FUZZ=ON -DDRAVONT_BUILD_TESTS=OFF \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j2 >/dev/null
mkdir -p build-fuzz/corpus build-fuzz/seeds build-fuzz/artifacts
build-fuzz/fuzz/make_seeds build-fuzz/seeds
cp tests/data/*.coff tests/data/*.obj tests/data/elf/*.elf tests/data/elf/refused/*.elf build-fuzz/seeds/
cp fuzz/regressions/* build-fuzz/seeds/ 2>/dev/null || true
build-fuzz/fuzz/fuzz_convert -max_total_time="$seconds" -max_len=65536 -timeout=10 \
    -rss_limit_mb=2048 -artifact_prefix=build-fuzz/artifacts/ -print_final_stats=1 "$@" \
    build-fuzz/corpus build-fuzz/seeds
