#include "bluetooth/native/neighbourhood/SimulatedRadio.h"

#include <algorithm>

#include "bluetooth/io/StoppableWaits.h"

namespace flarecast::bluetooth {

SimulatedRadio::Link::~Link() {
    if (radio != nullptr) {
        radio->release(address);
    }
}

SimulatedRadio::SimulatedRadio(std::optional<Neighbourhood::Radio> radio) : radio(radio) {}

bool SimulatedRadio::waitUntil(std::unique_lock<std::mutex>& guard, Clock::time_point due,
                               const std::stop_token& stop) {
    // Nothing but the stop request or the time ends this wait.
    stoppableWaitUntil(wake, guard, stop, due, [] { return false; });
    return !stop.stop_requested();
}

bool SimulatedRadio::linkUp(std::int64_t address) const {
    const auto found = links.find(address);
    return found != links.end() &&
           (found->second.users > 0 || Clock::now() - found->second.lastUsed < kLinkLinger);
}

std::optional<SimulatedRadio::Link> SimulatedRadio::reach(std::int64_t address,
                                                          std::stop_token stop) {
    std::unique_lock guard(lock);
    if (!linkUp(address) && !page(guard, stop)) {
        return std::nullopt;
    }
    ++links[address].users;
    return Link(*this, address);
}

void SimulatedRadio::release(std::int64_t address) {
    const std::lock_guard guard(lock);
    auto& link = links[address];
    --link.users;
    link.lastUsed = Clock::now();
}

bool SimulatedRadio::page(std::unique_lock<std::mutex>& guard, const std::stop_token& stop) {
    if (!radio || radio->pagingMax.count() <= 0) {
        return !stop.stop_requested();
    }
    const std::uint64_t ticket = nextTicket++;
    if (!stoppableWait(wake, guard, stop, [&] { return serving == ticket; })) {
        // A page given up before its turn must not hold up those behind it.
        abandoned.insert(ticket);
        return false;
    }
    std::uniform_int_distribution<std::int64_t> length(radio->pagingMin.count(),
                                                       radio->pagingMax.count());
    const bool paged =
        waitUntil(guard, Clock::now() + std::chrono::milliseconds(length(random)), stop);
    for (++serving; abandoned.erase(serving) > 0; ++serving) {
    }
    wake.notify_all();
    return paged;
}

bool SimulatedRadio::carry(std::size_t count, std::stop_token stop) {
    if (!radio || !radio->bytesPerSecond || count == 0) {
        return !stop.stop_requested();
    }
    std::unique_lock guard(lock);
    const auto length = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
        static_cast<double>(count) / static_cast<double>(*radio->bytesPerSecond)));
    airFree = std::max(airFree, Clock::now()) + length;
    return waitUntil(guard, airFree, stop);
}

}  // namespace flarecast::bluetooth
