#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "bluetooth/io/OwnedThread.h"
#include "obex/Errors.h"

namespace flarecast::obex {

// One thread that keeps the time limits of many sessions: each session's Timer runs its expiry
// (closing the session's connection) when a wait it armed lasts too long. Sessions that share
// it cost one thread each instead of two.
class Deadlines {
    using Clock = std::chrono::steady_clock;

public:
    class Timer;

    Deadlines();
    // The one the process's users share: made by the first, and its thread joined when the last
    // lets it go, so none is there while nobody needs it.
    static std::shared_ptr<Deadlines> shared();
    // Every Timer holds its Deadlines, so none is left by then.
    ~Deadlines();
    Deadlines(const Deadlines&) = delete;
    Deadlines& operator=(const Deadlines&) = delete;

private:
    void run();
    void add(Timer* timer);
    void remove(Timer* timer);
    void arm(Timer* timer, std::chrono::milliseconds limit);
    bool disarm(Timer* timer);

    std::mutex lock;
    // Wakes the thread when a deadline comes sooner than the one it sleeps until.
    std::condition_variable wake;
    // A timer's expiry has returned.
    std::condition_variable expired;
    std::vector<Timer*> timers;
    std::optional<Clock::time_point> sleepingUntil;
    bool stopping = false;
    bluetooth::OwnedThread thread;
};

// One session's limit on its waits. Destroying it waits for an expiry that is running.
class Deadlines::Timer {
public:
    // onExpiry runs on the Deadlines' thread and must not throw.
    Timer(std::shared_ptr<Deadlines> deadlines, std::function<void()> onExpiry);
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    // The result of step, which must end within limit; when it does not, the expiry runs under
    // it and the step ends with a NoResponseError "No response from the peer".
    template <typename Step>
    auto within(std::chrono::milliseconds limit, Step step) {
        deadlines->arm(this, limit);
        std::optional<decltype(step())> result;
        try {
            result = step();
        } catch (const bluetooth::Error&) {
            if (deadlines->disarm(this)) {
                throw NoResponseError("No response from the peer");
            }
            throw;
        }
        // The step may have finished just as the expiry closed what it used.
        if (deadlines->disarm(this)) {
            throw NoResponseError("No response from the peer");
        }
        return std::move(*result);
    }

private:
    friend class Deadlines;

    const std::shared_ptr<Deadlines> deadlines;
    const std::function<void()> onExpiry;
    // Under the Deadlines' lock.
    std::optional<Clock::time_point> deadline;
    bool fired = false;
    bool running = false;
};

}  // namespace flarecast::obex
