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
    {
        const std::lock_guard guard(lock);
        deadline = std::chrono::steady_clock::now() + timeout;
        fired = false;
    }
    wake.notify_all();
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
            wake.wait(guard);
            continue;
        }
        if (wake.wait_until(guard, *deadline) == std::cv_status::timeout && deadline &&
            std::chrono::steady_clock::now() >= *deadline) {
            deadline.reset();
            fired = true;
            guard.unlock();
            onExpiry();
            guard.lock();
        }
    }
}

}  // namespace flarecast::obex
