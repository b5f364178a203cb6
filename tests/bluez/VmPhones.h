// Controllers of the VM that act as phones in range, for the tests on several local adapters.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "obex/server/ServerSession.h"

namespace flarecast::vm {

// Each phone publishes Object Push through bluetoothd's SDP server for its own address only, on
// an RFCOMM channel of its own, and takes every object pushed to it with our OBEX server. Each
// connection it accepts is noted with the address it came from, so a test sees which local
// adapter reached it.
class Phones {
public:
    using Clock = std::chrono::steady_clock;
    struct Visit {
        std::int64_t phone;
        std::int64_t from;
        Clock::time_point accepted;
    };
    struct Receipt {
        std::int64_t phone;
        std::int64_t from;
        std::string name;
        std::string content;
        Clock::time_point saved;
    };

    explicit Phones(const std::vector<std::int64_t>& addresses);
    // Stops listening and ends every session.
    ~Phones();
    Phones(const Phones&) = delete;
    Phones& operator=(const Phones&) = delete;

    int channelOf(std::int64_t phone) const;
    std::vector<Visit> visits() const;
    std::vector<Receipt> receipts() const;

    // Called by a phone's session.
    void received(Receipt receipt);

private:
    struct Phone;
    void accept(Phone& phone);

    mutable std::mutex lock;
    std::vector<Visit> seen;
    std::vector<Receipt> taken;
    std::vector<std::unique_ptr<obex::ServerSession>> sessions;
    std::vector<std::unique_ptr<Phone>> phones;
};

}  // namespace flarecast::vm
