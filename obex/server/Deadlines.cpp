#include "obex/server/Deadlines.h"

#include <algorithm>

namespace flarecast::obex {

Deadlines::Deadlines() {
    thread.start([this] { run(); });
}

std::shared_ptr<Deadlines> Deadlines::shared() {
    // Only a weak reference stays here: the users own the thread.
    static std::mutex lock;
    static std::weak_ptr<Deadlines> current;
    const std::lock_guard guard(lock);
    std::shared_ptr<Deadlines> deadlines = current.lock();
    if (!deadlines) {
        // Made apart from its count, so that none of its memory waits for the weak reference.
        deadlines = std::make_unique<Deadlines>();
        current = deadlines;
    }
    return deadlines;
}

Deadlines::~Deadlines() {
    {
        const std::lock_guard guard(lock);
        stopping = true;
    }
    wake.notify_all();
    thread.join();
}

void Deadlines::add(Timer* timer) {
    const std::lock_guard guard(lock);
    timers.push_back(timer);
}

void Deadlines::remove(Timer* timer) {
    std::unique_lock guard(lock);
    expired.wait(guard, [timer] { return !timer->running; });
    std::erase(timers, timer);
}

void Deadlines::arm(Timer* timer, std::chrono::milliseconds limit) {
    bool wakeSooner = false;
    {
        const std::lock_guard guard(lock);
        timer->deadline = Clock::now() + limit;
        timer->fired = false;
        wakeSooner = !sleepingUntil || *timer->deadline < *sleepingUntil;
    }
    if (wakeSooner) {
        wake.notify_all();
    }
}

bool Deadlines::disarm(Timer* timer) {
    std::unique_lock guard(lock);
    timer->deadline.reset();
    // An expiry under way has closed, or is closing, what the step used.
    expired.wait(guard, [timer] { return !timer->running; });
    return timer->fired;
}

void Deadlines::run() {
    std::unique_lock guard(lock);
    while (!stopping) {
        Timer* due = nullptr;
        for (Timer* timer : timers) {
            if (timer->deadline && (!due || *timer->deadline < *due->deadline)) {
                due = timer;
            }
        }
        if (!due) {
            sleepingUntil.reset();
            wake.wait(guard);
            continue;
        }
        if (Clock::now() < *due->deadline) {
            sleepingUntil = due->deadline;
            wake.wait_until(guard, *sleepingUntil);
            continue;
        }
        due->deadline.reset();
        due->fired = true;
        due->running = true;
        guard.unlock();
        due->onExpiry();
        guard.lock();
        due->running = false;
        expired.notify_all();
    }
}

Deadlines::Timer::Timer(std::shared_ptr<Deadlines> deadlines, std::function<void()> onExpiry)
    : deadlines(std::move(deadlines)), onExpiry(std::move(onExpiry)) {
    this->deadlines->add(this);
}

Deadlines::Timer::~Timer() {
    deadlines->remove(this);
}

}  // namespace flarecast::obex
