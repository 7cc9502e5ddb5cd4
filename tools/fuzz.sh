#!/usr/bin/env bash
# Builds the profile layer's fuzz target with clang, libFuzzer and the address
# and undefined-behaviour sanitizers, and fuzzes it from the seed corpus for a
# bounded time. Usage: tools/fuzz.sh [SECONDS]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh fuzz
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFUZZ=ON \
  -DBUILD_TESTING=OFF -DWINDOWS_BUILDS=OFF -DSANITIZE=OFF >/dev/null
cmake --build build-fuzz -j2 --target profile_fuzzer >/dev/null
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
cp fuzz/corpus/* "$corpus/"
# New findings stay in the scratch corpus; a crash leaves its input in build-fuzz/.
build-fuzz/profile_fuzzer -max_total_time="${1:-60}" -max_len=4096 -timeout=10 \
  -artifact_prefix=build-fuzz/ -print_final_stats=1 "$corpus" 2>&1 | tail -n 15
