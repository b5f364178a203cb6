#!/usr/bin/env bash
# Configures and builds into the folder given (default build/). Further arguments go to CMake's
# configure step, except `--target NAME`, which builds only that target (and may be repeated), and
# `--windows`, which cross-builds everything but the window for 64-bit Windows with mingw-w64.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true
configure=()
targets=()
while (($# > 0)); do
    if [[ "$1" == --target && $# -ge 2 ]]; then
        targets+=(--target "$2")
        shift 2
    elif [[ "$1" == --windows ]]; then
        bash scripts/install-deps.sh --windows
        bash scripts/windows-deps.sh "$build/deps"
        configure+=(-DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake"
                    -DFLARECAST_WINDOWS_DEPS="$(realpath -m "$build/deps")" -DFLARECAST_BUILD_UI=OFF)
        shift
    else
        configure+=("$1")
        shift
    fi
done
# Several build folders of one tree share their compiles where ccache is installed.
if command -v ccache >/dev/null; then
    configure=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache "${configure[@]}")
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${configure[@]}"
cmake --build "$build" "${targets[@]}"
