#pragma once

#include <atomic>
#include <thread>

namespace flarecast::bluetooth {

// A mutex in one atomic flag, for objects that exist by the thousand (a decoded SDP record is
// dozens of data elements): a std::mutex would more than double their size. Waiters block on the
// flag rather than spin; on Windows they yield instead, because the C++ library's atomic waits
// there can miss their wake-up and block for good.
class TinyMutex {
public:
    void lock() noexcept {
        while (flag.test_and_set(std::memory_order_acquire)) {
#if defined(_WIN32)
            std::this_thread::yield();
#else
            flag.wait(true, std::memory_order_relaxed);
#endif
        }
    }
    void unlock() noexcept {
        flag.clear(std::memory_order_release);
#if !defined(_WIN32)
        flag.notify_one();
#endif
    }

private:
    std::atomic_flag flag;
};

}  // namespace flarecast::bluetooth
