#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <stop_token>
#include <utility>

namespace flarecast::bluetooth {

// condition_variable_any's waits that a stop request also ends; each returns done()'s last answer.
//
// On Windows they do not use the library's own: its stop callback, when destroyed while the
// stopping thread still runs it, waits on a semaphore whose wake-up the Windows build of the C++
// library can lose (its atomic waits, without a futex, notify outside their mutex), and the
// waiter then hangs for good. There the wait looks at the token every kStopLook instead.

#if defined(_WIN32)
inline constexpr std::chrono::milliseconds kStopLook{10};
#endif

template <typename Lock, typename Clock, typename Duration, typename Done>
bool stoppableWaitUntil(std::condition_variable_any& changed, Lock& lock,
                        const std::stop_token& stop,
                        const std::chrono::time_point<Clock, Duration>& due, Done done) {
#if defined(_WIN32)
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(due - Clock::now());
        if (stop.stop_requested() || left <= left.zero()) {
            return done();
        }
        changed.wait_for(lock, std::min<std::chrono::nanoseconds>(left, kStopLook));
    }
    return true;
#else
    return changed.wait_until(lock, stop, due, std::move(done));
#endif
}

template <typename Lock, typename Rep, typename Period, typename Done>
bool stoppableWaitFor(std::condition_variable_any& changed, Lock& lock, const std::stop_token& stop,
                      std::chrono::duration<Rep, Period> time, Done done) {
#if defined(_WIN32)
    return stoppableWaitUntil(changed, lock, stop, std::chrono::steady_clock::now() + time,
                              std::move(done));
#else
    return changed.wait_for(lock, stop, time, std::move(done));
#endif
}

template <typename Lock, typename Done>
bool stoppableWait(std::condition_variable_any& changed, Lock& lock, const std::stop_token& stop,
                   Done done) {
#if defined(_WIN32)
    while (!done()) {
        if (stop.stop_requested()) {
            return done();
        }
        changed.wait_for(lock, kStopLook);
    }
    return true;
#else
    return changed.wait(lock, stop, std::move(done));
#endif
}

}  // namespace flarecast::bluetooth
