#!/usr/bin/env bash
# Installs the Debian packages that building and testing Flarecast need, when any is missing; with
# --windows, those of the Windows cross-build and of its tests under wine.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev libgl-dev fonts-dejavu-core fonts-liberation2 desktop-file-utils
    xvfb libx11-dev libxtst-dev
    libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
    nlohmann-json3-dev libicu-dev
    libbluetooth-dev libsdbus-c++-dev clang libclang-rt-14-dev
    openobex-apps obexftp
    dbus at-spi2-core python3-pyatspi python3-xlib
    libsqlitecpp-dev libsqlite3-dev sqlite3 libssl-dev qt6-charts-dev libqt6opengl6-dev
)
if [[ "${1:-}" == --windows ]]; then
    packages=(cmake ninja-build g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix wine wine64
              googletest libcli11-dev nlohmann-json3-dev)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if ((${#missing[@]} > 0)); then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y --no-install-recommends "${missing[@]}"
fi
