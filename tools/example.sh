#!/usr/bin/env bash
# Builds the program, registers the example livery in a scratch copy of the
# example aircraft, and prints the lines that the run added to aircraft.cfg.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh build
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build -j2 >/dev/null

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp -r example/Jet "$scratch/"
cp build/setup "$scratch/Jet/RedLivery/setup"
code=0
(cd / && "$scratch/Jet/RedLivery/setup") || code=$?
echo "setup ended with exit code $code; it added to aircraft.cfg:"
diff --old-line-format= --unchanged-line-format= --new-line-format='  %L' \
  example/Jet/aircraft.cfg "$scratch/Jet/aircraft.cfg" | tr -d '\r' || true
exit "$code"
