#pragma once

#include <chrono>
#include <functional>

#include "obex/server/Deadlines.h"

namespace flarecast::obex {

// Calls onExpiry when a step does not end in time: a peer that stops answering would otherwise
// hold its session's thread for ever. The limits of every session in the process are kept by one
// shared thread, there while some session is.
class ResponseWatchdog {
public:
    // onExpiry runs on the shared thread and must not throw.
    explicit ResponseWatchdog(std::function<void()> onExpiry);

    // The result of step, which must end within timeout; when it does not, onExpiry runs under
    // it and the step ends with a NoResponseError "No response from the peer".
    template <typename Step>
    auto within(std::chrono::milliseconds timeout, Step step) {
        return timer.within(timeout, std::move(step));
    }

private:
    Deadlines::Timer timer;
};

}  // namespace flarecast::obex
