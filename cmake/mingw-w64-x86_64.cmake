# Cross-builds for 64-bit Windows with Debian's mingw-w64, in its POSIX-threads variant: that is the
# one whose libstdc++ has std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# Libraries and packages only from the cross prefix and the folder of cross-built dependencies
# (FLARECAST_WINDOWS_DEPS), never the build machine's own.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES FLARECAST_WINDOWS_DEPS)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${FLARECAST_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The runtime libraries go into every program, so that it runs without DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests and test discovery run the programs under wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
