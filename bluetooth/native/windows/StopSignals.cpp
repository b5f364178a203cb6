#include "bluetooth/native/StopSignals.h"

#include <windows.h>

#include <array>
#include <climits>
#include <string>
#include <system_error>

namespace flarecast::bluetooth {

namespace {

// The console calls its handlers without a context, so the handler finds the listener's
// semaphore by a name that holds the process's ID.
std::wstring semaphoreName() {
    return L"Local\\flarecast-stop-" + std::to_wstring(::GetCurrentProcessId());
}

BOOL WINAPI forward(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        return FALSE;
    }
    const HANDLE semaphore =
        ::OpenSemaphoreW(SEMAPHORE_MODIFY_STATE, FALSE, semaphoreName().c_str());
    if (semaphore == nullptr) {
        return FALSE;
    }
    ::ReleaseSemaphore(semaphore, 1, nullptr);
    ::CloseHandle(semaphore);
    return TRUE;
}

HANDLE checked(HANDLE handle, const char* what) {
    if (handle == nullptr) {
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), what);
    }
    return handle;
}

}  // namespace

void StopSignals::blockInThisThread() {
    // Ctrl+C is ignored until a listener exists, and again after it: without a handler Windows
    // would end the program at once, mid-push.
    ::SetConsoleCtrlHandler(nullptr, TRUE);
}

StopSignals::StopSignals(std::function<void(int count)> onSignal)
    : onSignal(std::move(onSignal)),
      signals(checked(::CreateSemaphoreW(nullptr, 0, LONG_MAX, semaphoreName().c_str()),
                      "CreateSemaphore")) {
    try {
        done = checked(::CreateEventW(nullptr, TRUE, FALSE, nullptr), "CreateEvent");
        ::SetConsoleCtrlHandler(&forward, TRUE);
        thread.start([this] { listen(); });
        ::SetConsoleCtrlHandler(nullptr, FALSE);
    } catch (...) {
        ::SetConsoleCtrlHandler(&forward, FALSE);
        if (done != nullptr) {
            ::CloseHandle(done);
        }
        ::CloseHandle(signals);
        throw;
    }
}

StopSignals::~StopSignals() {
    ::SetConsoleCtrlHandler(nullptr, TRUE);
    ::SetConsoleCtrlHandler(&forward, FALSE);
    ::SetEvent(done);
    thread.join();
    ::CloseHandle(done);
    ::CloseHandle(signals);
}

void StopSignals::listen() {
    int count = 0;
    const std::array<HANDLE, 2> events{signals, done};
    while (::WaitForMultipleObjects(2, events.data(), FALSE, INFINITE) == WAIT_OBJECT_0) {
        onSignal(++count);
    }
}

}  // namespace flarecast::bluetooth
