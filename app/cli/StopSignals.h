#pragma once

#include <csignal>
#include <functional>

#include "app/cli/UniqueFd.h"
#include "bluetooth/io/OwnedThread.h"

namespace flarecast::cli {

// SIGINT and SIGTERM, taken on a thread of this object and handed to onSignal with the count so
// far: no work runs in a signal handler. blockInThisThread() must come first, before the
// program starts any thread, so that every thread has them blocked and only this one takes them.
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
    UniqueFd signals;
    // Written to wake the thread when the program is done.
    UniqueFd done;
    bluetooth::OwnedThread thread;
};

}  // namespace flarecast::cli
