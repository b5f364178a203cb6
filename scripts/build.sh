#!/usr/bin/env bash
# Configures and builds into the folder given (default build/); further arguments go to CMake.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build "$build"
