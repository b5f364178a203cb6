#include "obex/session/ResponseWatchdog.h"

namespace flarecast::obex {

ResponseWatchdog::ResponseWatchdog(std::function<void()> onExpiry) : onExpiry(std::move(onExpiry)) {
    thread.start([this] { run(); });
}

ResponseWatchdog::~ResponseWatchdog() {
    {
        const std::lock_guard guard(lock);
        stopping = true;
    }
    wake.notify_all();
    thread.join();
}

void ResponseWatchdog::arm(std::chrono::milliseconds timeout) {
    bool wakeSooner = false;
    {
        const std::lock_guard guard(lock);
        deadline = std::chrono::steady_clock::now() + timeout;
        fired = false;
        wakeSooner = !sleepingUntil || *deadline < *sleepingUntil;
    }
    if (wakeSooner) {
        wake.notify_all();
    }
}

bool ResponseWatchdog::disarm() {
    const std::lock_guard guard(lock);
    deadline.reset();
    return fired;
}

void ResponseWatchdog::run() {
    std::unique_lock guard(lock);
    while (!stopping) {
        if (!deadline) {
            sleepingUntil.reset();
            wake.wait(guard);
            continue;
        }
        sleepingUntil = deadline;
        wake.wait_until(guard, *sleepingUntil);
        if (deadline && std::chrono::steady_clock::now() >= *deadline) {
            deadline.reset();
            fired = true;
            guard.unlock();
            onExpiry();
            guard.lock();
        }
    }
}

}  // namespace flarecast::obex
