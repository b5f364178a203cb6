#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>

#include "bluetooth/io/StoppableWaits.h"

namespace flarecast::engine {

// Lets one thread wait for what other threads make true. Each of them changes what the
// condition reads inside notify(); the waiter wakes at once instead of at its next look.
class Wakeup {
public:
    // Makes the change under the lock and wakes the waiter before letting go of it, so that a
    // waiter that sees the change may destroy this at once.
    template <typename Change>
    void notify(Change change) {
        const std::lock_guard guard(lock);
        change();
        changed.notify_all();
    }

    Wakeup() = default;
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;
    // Waits for a notify() still under way.
    ~Wakeup() { const std::lock_guard guard(lock); }

    // Waits until done() holds or stop is requested, looking again at least every bound; true
    // when done() holds.
    template <typename Done>
    bool waitUntil(std::stop_token stop, std::chrono::milliseconds bound, Done done) {
        std::unique_lock guard(lock);
        while (!done()) {
            if (stop.stop_requested()) {
                return false;
            }
            bluetooth::stoppableWaitFor(changed, guard, stop, bound, done);
        }
        return true;
    }

    // Waits at most limit for done(); its last answer.
    template <typename Done>
    bool waitFor(std::chrono::milliseconds limit, Done done) {
        std::unique_lock guard(lock);
        return changed.wait_for(guard, limit, done);
    }

    // Sleeps for length unless stop is requested first; false when it was.
    bool sleepFor(std::stop_token stop, std::chrono::milliseconds length) {
        std::unique_lock guard(lock);
        bluetooth::stoppableWaitFor(changed, guard, stop, length, [] { return false; });
        return !stop.stop_requested();
    }

private:
    std::mutex lock;
    std::condition_variable_any changed;
};

}  // namespace flarecast::engine
