#pragma once

#include <chrono>
#include <cstddef>

namespace flarecast::engine {

// The engine's waits and its limit of push jobs at once; tests pass a scaled copy.
struct Pacing {
    // Between looks at an inquiry's or a search's completion.
    std::chrono::milliseconds poll{1000};
    // After a push job is started.
    std::chrono::milliseconds pushPause{5000};
    // Between looks for a free push slot while all are taken.
    std::chrono::milliseconds slotPoll{5000};
    // At the end of a pass, before the finished jobs are counted and dropped.
    std::chrono::milliseconds endPause{5000};
    std::size_t pushSlots = 5;
};

}  // namespace flarecast::engine
