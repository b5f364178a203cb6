#!/usr/bin/env bash
# Installs what is missing, builds and runs every test. With --sanitize, the same suite runs in an
# address and undefined-behaviour sanitizer build (folder build-sanitize/); with --thread, in a
# thread-sanitizer build (folder build-tsan/); with --bluez-vm, the tests on a real kernel Bluetooth
# stack run inside a throw-away VM (needs root); with --windows, everything but the window is
# cross-built for Windows (folder build-windows/), its suites run under wine, and the zip of the
# Windows programs is made.
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ "${1:-}" != --windows ]]; then
    bash scripts/install-deps.sh
fi
case "${1:-}" in
--sanitize)
    bash scripts/build.sh build-sanitize -DFLARECAST_SANITIZE=ON
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp
    ctest --test-dir build-sanitize --output-on-failure -j2 -LE bluez-vm
    ;;
--thread)
    bash scripts/build.sh build-tsan -DFLARECAST_SANITIZE_THREAD=ON
    export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/scripts/tsan.supp"
    ctest --test-dir build-tsan --output-on-failure -j2 -LE bluez-vm
    ;;
--bluez-vm)
    bash scripts/build.sh build
    ctest --test-dir build --output-on-failure -L bluez-vm
    ;;
--windows)
    bash scripts/build.sh build-windows --windows
    # A prefix of the build's own, made before the clock of any test runs; the server stays up
    # between the tests' programs, as starting it for each would cost seconds.
    export WINEPREFIX=$PWD/build-windows/wine-prefix
    mkdir -p "$WINEPREFIX"
    # Fails only when a server of this prefix already runs, which then serves instead.
    wineserver --persistent 2>/dev/null || true
    trap 'wineserver --kill 2>/dev/null || true' EXIT
    scripts/wine-run.sh wineboot --init >/dev/null 2>&1
    ctest --test-dir build-windows --output-on-failure -j2
    (cd build-windows && cpack)
    ;;
"")
    bash scripts/build.sh build
    ctest --test-dir build --output-on-failure -j2 -LE bluez-vm
    ;;
*)
    echo "usage: bash scripts/test.sh [--sanitize | --thread | --bluez-vm | --windows]" >&2
    exit 2
    ;;
esac
