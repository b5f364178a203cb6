#pragma once

#include <atomic>

namespace flarecast::bluetooth {

// A mutex in one atomic flag, for objects that exist by the thousand (a decoded SDP record is
// dozens of data elements): a std::mutex would more than double their size. Waiters block on the
// flag rather than spin.
class TinyMutex {
public:
    void lock() noexcept {
        while (flag.test_and_set(std::memory_order_acquire)) {
            flag.wait(true, std::memory_order_relaxed);
        }
    }
    void unlock() noexcept {
        flag.clear(std::memory_order_release);
        flag.notify_one();
    }

private:
    std::atomic_flag flag;
};

}  // namespace flarecast::bluetooth
