#!/usr/bin/env bash
# Builds the benchmarks in Release (folder build-bench/) and runs them; further arguments go to
# each benchmark program (for a quick check: --benchmark_min_time=0.01).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build-bench -DCMAKE_BUILD_TYPE=Release -DFLARECAST_BUILD_BENCH=ON \
    -DFLARECAST_BUILD_TESTS=OFF -DFLARECAST_BUILD_UI=OFF
for program in build-bench/bench/bench_*; do
    "$program" "$@"
done
