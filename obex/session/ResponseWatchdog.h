#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>

#include "bluetooth/io/Errors.h"
#include "bluetooth/io/OwnedThread.h"

namespace flarecast::obex {

// Calls onExpiry when a wait that was armed is not disarmed in time. A peer that stops
// answering would otherwise hold its session's thread for ever.
class ResponseWatchdog {
public:
    explicit ResponseWatchdog(std::function<void()> onExpiry);
    ~ResponseWatchdog();
    ResponseWatchdog(const ResponseWatchdog&) = delete;
    ResponseWatchdog& operator=(const ResponseWatchdog&) = delete;

    void arm(std::chrono::milliseconds timeout);
    // Whether the wait expired before it was disarmed.
    bool disarm();

    // The result of step, which must end within timeout; when it does not, onExpiry runs under
    // it and the step ends with an I/O error "No response from the peer".
    template <typename Step>
    auto within(std::chrono::milliseconds timeout, Step step) {
        arm(timeout);
        std::optional<decltype(step())> result;
        try {
            result = step();
        } catch (const bluetooth::Error&) {
            if (disarm()) {
                throw bluetooth::IOError("No response from the peer");
            }
            throw;
        }
        // The step may have finished just as onExpiry closed what it used.
        if (disarm()) {
            throw bluetooth::IOError("No response from the peer");
        }
        return std::move(*result);
    }

private:
    void run();

    std::function<void()> onExpiry;
    std::mutex lock;
    std::condition_variable wake;
    std::optional<std::chrono::steady_clock::time_point> deadline;
    // What the thread sleeps until; empty while it waits to be armed. Arming wakes it only when
    // it must wake sooner, so a session that exchanges many packets costs no wake-ups.
    std::optional<std::chrono::steady_clock::time_point> sleepingUntil;
    bool fired = false;
    bool stopping = false;
    bluetooth::OwnedThread thread;
};

}  // namespace flarecast::obex
