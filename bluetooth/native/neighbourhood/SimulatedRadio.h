#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <utility>
#include <stop_token>

#include "bluetooth/native/neighbourhood/Neighbourhood.h"

namespace flarecast::bluetooth {

// One adapter's radio in the simulated neighbourhood: a controller pages one device at a time,
// and every link of the adapter shares its air time. A link stays up while a connection or
// search uses it and for a short while after, as a kernel keeps it, so a connection right after
// a search needs no page of its own. Without a radio in the file nothing costs anything.
class SimulatedRadio {
public:
    static constexpr std::chrono::seconds kLinkLinger{2};

    // A use of the link to one device; the link lingers after the last use ends.
    class Link {
    public:
        Link(Link&& other) noexcept
            : radio(std::exchange(other.radio, nullptr)), address(other.address) {}
        Link& operator=(Link&&) = delete;
        Link(const Link&) = delete;
        Link& operator=(const Link&) = delete;
        ~Link();

    private:
        friend class SimulatedRadio;
        Link(SimulatedRadio& radio, std::int64_t address) : radio(&radio), address(address) {}
        SimulatedRadio* radio;
        std::int64_t address;
    };

    explicit SimulatedRadio(std::optional<Neighbourhood::Radio> radio);

    // The link to the device, paged first unless one is up; nothing when stop was requested
    // before the link was up.
    std::optional<Link> reach(std::int64_t address, std::stop_token stop);
    // Waits until the air has carried count bytes after those queued before them; false when
    // stop was requested first.
    bool carry(std::size_t count, std::stop_token stop);

private:
    using Clock = std::chrono::steady_clock;

    struct LinkState {
        int users = 0;
        Clock::time_point lastUsed{};
    };

    // Waits for the pager, then pages; false when stop was requested first.
    bool page(std::unique_lock<std::mutex>& guard, const std::stop_token& stop);
    bool linkUp(std::int64_t address) const;
    void release(std::int64_t address);
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
    std::map<std::int64_t, LinkState> links;
    // When the air is free of what was queued so far.
    Clock::time_point airFree{};
};

}  // namespace flarecast::bluetooth
