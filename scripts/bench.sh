#!/usr/bin/env bash
# Builds the benchmark in Release and runs it: every user action beside its floor, at 200 to
# 100,000 runewords. Arguments go to tessaly-bench (for instance --sizes=1000 or
# --benchmark_filter=Search).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh libbenchmark-dev
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" >/dev/null
cmake --build build-bench --target tessaly-bench
exec build-bench/bin/tessaly-bench "$@"
