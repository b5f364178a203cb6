#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (folder build-fuzz/) and runs each for the given number
# of seconds (default 60), starting from its seed corpus. Each target's findings and grown corpus
# stay in build-fuzz/runs/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
bash scripts/install-deps.sh
CC=clang CXX=clang++ bash scripts/build.sh build-fuzz \
    -DFLARECAST_BUILD_FUZZ=ON -DFLARECAST_BUILD_UI=OFF -DFLARECAST_BUILD_TESTS=OFF
for target in build-fuzz/fuzz/fuzz_*; do
    name=$(basename "$target")
    run=build-fuzz/runs/$name
    mkdir -p "$run/corpus"
    cp -n fuzz/corpus/"$name"/* "$run/corpus/" 2>/dev/null || true
    echo "== $name for ${seconds}s"
    (cd "$run" && "../../fuzz/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -close_fd_mask=1 \
        -print_final_stats=1 corpus 2>&1 | grep -E '^(stat::number_of_executed_units|#[0-9]+ +DONE)|ERROR|SUMMARY')
done
