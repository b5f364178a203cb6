#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace flarecast::testing {

// Waits, within a bound, for something that other threads bring about, looking again every look.
inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds bound = std::chrono::seconds(30),
                       std::chrono::milliseconds look = std::chrono::milliseconds(1)) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(look);
    }
    return true;
}

}  // namespace flarecast::testing
