#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>

#include "bluetooth/io/StoppableWaits.h"

namespace flarecast::obex {

// Waits for time to pass, or for a stop request; false when stop was requested.
template <typename Rep, typename Period>
bool waitUnlessStopped(const std::stop_token& stop, std::chrono::duration<Rep, Period> time) {
    if (time <= time.zero()) {
        return !stop.stop_requested();
    }
    std::mutex lock;
    std::condition_variable_any wake;
    std::unique_lock guard(lock);
    // Nothing but the stop request or the time wakes this wait.
    bluetooth::stoppableWaitFor(wake, guard, stop, time, [] { return false; });
    return !stop.stop_requested();
}

}  // namespace flarecast::obex
