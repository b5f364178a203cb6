#pragma once

#include <chrono>
#include <cstddef>

namespace flarecast::engine {

// The engine's waits and its limit of push jobs at once; tests pass a scaled copy. The engine
// waits for events; the polls and the end pause are only the longest it waits before it looks.
struct Pacing {
    // Between looks at an inquiry's or a search's completion.
    std::chrono::milliseconds poll{1000};
    // After a push job is started, before the next device is searched; zero is allowed.
    std::chrono::milliseconds pushPause{5000};
    // Between looks for a free push slot while all are taken.
    std::chrono::milliseconds slotPoll{5000};
    // At the end of a pass, the longest wait for its jobs to end before they are counted and the
    // finished ones dropped.
    std::chrono::milliseconds endPause{5000};
    // Per local adapter.
    std::size_t pushSlots = 5;
    // Search and push each device as soon as the inquiry reports it, instead of after its end.
    bool serveWhileInquiring = false;
};

}  // namespace flarecast::engine
