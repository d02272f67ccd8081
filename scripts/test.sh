#!/usr/bin/env bash
# Builds Tessaly and runs every test, headless.
set -euo pipefail
cd "$(dirname "$0")/.."
# Google Benchmark too, so that the benchmark's smoke test builds and runs.
scripts/deps.sh libbenchmark-dev
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure
