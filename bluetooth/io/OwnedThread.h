#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace flarecast::bluetooth {

// A thread that its owner starts once and always joins: the destructor waits for the body, so
// the owner declares it as its last member and nothing the body uses dies before it ends.
class OwnedThread {
public:
    OwnedThread() = default;
    OwnedThread(const OwnedThread&) = delete;
    OwnedThread& operator=(const OwnedThread&) = delete;
    ~OwnedThread() { join(); }

    // body must not throw.
    void start(std::function<void()> body) {
        // The body may finish, and another thread see it finished and join, before the new
        // thread is stored here.
        const std::lock_guard guard(lock);
        thread = std::thread([this, body = std::move(body)] {
            body();
            done = true;
        });
    }
    void join() {
        const std::lock_guard guard(lock);
        if (thread.joinable()) {
            thread.join();
        }
    }
    bool finished() const { return done; }

private:
    std::atomic<bool> done{false};
    std::mutex lock;
    std::thread thread;
};

}  // namespace flarecast::bluetooth
