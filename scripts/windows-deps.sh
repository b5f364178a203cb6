#!/usr/bin/env bash
# Cross-builds, into the folder given, what the Windows build needs and Debian ships no mingw build
# of: SQLiteCpp with its own copy of SQLite (from Debian's source package) and GoogleTest (from
# Debian's googletest sources); the header-only libraries are copied from the build machine.
# Does nothing when the folder is already complete.
set -euo pipefail
cd "$(dirname "$0")/.."
stage=$(realpath -m "${1:?usage: windows-deps.sh FOLDER}")
toolchain=$PWD/cmake/mingw-w64-x86_64.cmake
stamp=$stage/.complete-1
[[ -f $stamp ]] && exit 0

work=$stage/.work
rm -rf "$stage"
mkdir -p "$work/apt/lists/partial"

# Debian's source package through a private list, so the machine's own sources stay as they are.
echo "deb-src http://deb.debian.org/debian bookworm main" >"$work/apt/sources.list"
apt_private=(-o Dir::Etc::sourcelist="$work/apt/sources.list" -o Dir::Etc::sourceparts=-
             -o Dir::State::Lists="$work/apt/lists" -o APT::Sandbox::User=root)
apt-get "${apt_private[@]}" update -qq
(cd "$work" && apt-get "${apt_private[@]}" source --download-only -qq sqlitecpp)
tar -xzf "$work"/sqlitecpp_*.orig.tar.gz -C "$work"
sqlitecpp=$(find "$work" -maxdepth 1 -type d -name 'SQLiteCpp-*' | head -n 1)

cross=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release
       -DCMAKE_INSTALL_PREFIX="$stage" -DFLARECAST_WINDOWS_DEPS="$stage")
cmake -S "$sqlitecpp" -B "$work/sqlitecpp-build" "${cross[@]}" -DSQLITECPP_INTERNAL_SQLITE=ON \
    -DSQLITECPP_RUN_CPPLINT=OFF -DSQLITECPP_RUN_CPPCHECK=OFF -DSQLITECPP_BUILD_TESTS=OFF \
    -DSQLITECPP_BUILD_EXAMPLES=OFF -DSQLITE_ENABLE_COLUMN_METADATA=OFF
cmake --build "$work/sqlitecpp-build" --target install

cmake -S /usr/src/googletest -B "$work/googletest-build" "${cross[@]}" -Dgtest_disable_pthreads=OFF
cmake --build "$work/googletest-build" --target install

mkdir -p "$stage/include" "$stage/share/cmake"
cp -r /usr/include/nlohmann /usr/include/CLI "$stage/include/"
cp -r /usr/share/cmake/nlohmann_json /usr/share/cmake/CLI11 "$stage/share/cmake/"

rm -rf "$work"
touch "$stamp"
