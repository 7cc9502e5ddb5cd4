#!/usr/bin/env bash
# Builds the program optimised and prints, for aircraft configurations of
# 100 to 100,000 entries, the run's time and peak memory beside the time of
# a durable copy of the same file.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh build
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DWINDOWS_BUILDS=OFF >/dev/null
cmake --build build-bench -j2 --target setup registration_bench durable_copy >/dev/null
build-bench/registration_bench build-bench/setup build-bench/durable_copy "${1:-$PWD/build-bench}"
