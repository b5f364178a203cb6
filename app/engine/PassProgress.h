#pragma once

#include <chrono>
#include <cstddef>

namespace flarecast::engine {

enum class PassPhase { Inquiring, Searching, Pushing, Finished };

// Where a pass stands. With several adapters the phase is the busiest lane's: inquiring before
// searching before pushing.
struct PassState {
    PassPhase phase = PassPhase::Inquiring;
    // How long the running inquiry lasts at most, and when it began: enough for a progress bar.
    std::chrono::milliseconds inquiryLength{0};
    std::chrono::steady_clock::time_point inquiryBegan{};
    // Devices the inquiries reported, each address once.
    std::size_t found = 0;
    // Devices whose search found Object Push.
    std::size_t offering = 0;
    // Push jobs of this pass in flight, and those that ended sent and not sent.
    std::size_t running = 0;
    std::size_t sent = 0;
    std::size_t notSent = 0;
};

// Told of each change of a pass, for whoever shows it; like the row sink, called from the
// engine's threads. Implementations hand the state on and return at once. Finished comes once,
// when the pass ended on its own and every push it started has ended; a cancelled pass never
// reports it.
class PassProgress {
public:
    virtual ~PassProgress() = default;
    virtual void changed(const PassState& now) = 0;
};

}  // namespace flarecast::engine
