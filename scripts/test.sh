#!/usr/bin/env bash
# Installs what is missing, builds and runs every test. With --sanitize, the same suite runs in an
# address and undefined-behaviour sanitizer build (folder build-sanitize/).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
if [[ "${1:-}" == "--sanitize" ]]; then
    bash scripts/build.sh build-sanitize -DFLARECAST_SANITIZE=ON
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp
    ctest --test-dir build-sanitize --output-on-failure -j2
else
    bash scripts/build.sh build
    ctest --test-dir build --output-on-failure -j2
fi
