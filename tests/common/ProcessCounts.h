#pragma once

#include <cstddef>
#include <stdexcept>

#if defined(_WIN32)
// clang-format off
#include <windows.h>
#include <tlhelp32.h>
// clang-format on
#else
#include <filesystem>
#include <iterator>
#endif

namespace flarecast::testing {

#if defined(_WIN32)

// The threads of this process; the system's snapshot lists those of every process.
inline std::size_t threadsOfThisProcess() {
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        throw std::runtime_error("CreateToolhelp32Snapshot failed");
    }
    std::size_t count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Thread32First(snapshot, &entry); more;
         more = ::Thread32Next(snapshot, &entry)) {
        count += entry.th32OwnerProcessID == ::GetCurrentProcessId() ? 1 : 0;
    }
    ::CloseHandle(snapshot);
    return count;
}

// Every kernel handle of this process: sockets, events, threads, files.
inline std::size_t openHandlesOfThisProcess() {
    DWORD count = 0;
    if (!::GetProcessHandleCount(::GetCurrentProcess(), &count)) {
        throw std::runtime_error("GetProcessHandleCount failed");
    }
    return count;
}

#else

inline std::size_t entriesIn(const char* folder) {
    const std::filesystem::directory_iterator entries(folder);
    return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
}

inline std::size_t threadsOfThisProcess() {
    return entriesIn("/proc/self/task");
}

// The descriptors of this process: sockets, pipes, files.
inline std::size_t openHandlesOfThisProcess() {
    return entriesIn("/proc/self/fd");
}

#endif

}  // namespace flarecast::testing
