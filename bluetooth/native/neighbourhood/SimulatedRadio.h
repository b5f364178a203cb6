#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <random>
#include <set>
#include <stop_token>

#include "bluetooth/native/neighbourhood/Neighbourhood.h"

namespace flarecast::bluetooth {

// One adapter's radio in the simulated neighbourhood: a controller pages one device at a time,
// and every link of the adapter shares its air time. Without a radio in the file both cost
// nothing.
class SimulatedRadio {
public:
    explicit SimulatedRadio(std::optional<Neighbourhood::Radio> radio);

    // Waits for the pager, then pages; false when stop was requested first.
    bool page(std::stop_token stop);
    // Waits until the air has carried count bytes after those queued before them; false when
    // stop was requested first.
    bool carry(std::size_t count, std::stop_token stop);

private:
    using Clock = std::chrono::steady_clock;

    // Sleeps until due unless stop is requested; guard is held around the wait.
    bool waitUntil(std::unique_lock<std::mutex>& guard, Clock::time_point due,
                   const std::stop_token& stop);

    const std::optional<Neighbourhood::Radio> radio;
    std::mutex lock;
    std::condition_variable_any wake;
    // Pages are served in the order they were asked for.
    std::uint64_t nextTicket = 0;
    std::uint64_t serving = 0;
    std::set<std::uint64_t> abandoned;
    std::minstd_rand random{2024};
    // When the air is free of what was queued so far.
    Clock::time_point airFree{};
};

}  // namespace flarecast::bluetooth
