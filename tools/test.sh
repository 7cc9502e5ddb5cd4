#!/usr/bin/env bash
# Builds everything with warnings as errors and runs, in turn: the profile
# layer's fuzz target for a bounded time (FUZZ_SECONDS, default 60), the
# whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer (the
# Windows programs, cross-built, run as they ship), and the whole suite again
# as it is built for use.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh test
bash tools/install-deps.sh fuzz

echo "== fuzzing the profile layer for ${FUZZ_SECONDS:-60} s"
bash tools/fuzz.sh "${FUZZ_SECONDS:-60}"
if ls build-fuzz/crash-* build-fuzz/leak-* build-fuzz/timeout-* >/dev/null 2>&1; then
  echo "the fuzzer found a failing input: build-fuzz/"
  exit 1
fi

echo "== the whole suite with the address and undefined-behaviour sanitizers"
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DWARNINGS_AS_ERRORS=ON -DSANITIZE=ON -DWINDOWS_BUILDS=ON >/dev/null
cmake --build build-sanitize -j2
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-sanitize --output-on-failure -j2

echo "== the whole suite"
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWARNINGS_AS_ERRORS=ON >/dev/null
cmake --build build-test -j2
ctest --test-dir build-test --output-on-failure -j2
