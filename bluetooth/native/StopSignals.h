#pragma once

#include <csignal>
#include <functional>

#include "bluetooth/io/OwnedThread.h"

#if !defined(_WIN32)
#include "bluetooth/native/posix/UniqueFd.h"
#endif

namespace flarecast::bluetooth {

// SIGINT and SIGTERM (on Windows, Ctrl+C and Ctrl+Break), taken on a thread of this object and
// handed to onSignal with the count so far: no work runs in a signal handler.
// blockInThisThread() must come first, before the program starts any thread, so that every
// thread has them blocked and only this one takes them.
class StopSignals {
public:
    static void blockInThisThread();

    explicit StopSignals(std::function<void(int count)> onSignal);
    // Stops listening; a signal that comes later stays pending and blocked, and so does nothing.
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    void listen();

    const std::function<void(int)> onSignal;
#if defined(_WIN32)
    // Released once a signal by the console's handler, which runs on a thread of the system's.
    void* signals = nullptr;
    // Set to wake the thread when the program is done.
    void* done = nullptr;
#else
    UniqueFd signals;
    // Written to wake the thread when the program is done.
    UniqueFd done;
#endif
    OwnedThread thread;
};

}  // namespace flarecast::bluetooth
