#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/engine/PushOutcome.h"

namespace flarecast::engine {

// One row of the device table, as the engine hands it to the window.
struct Logfile {
    std::string bluetoothname;
    std::string bluetoothaddress;
    std::string datesent;
    bool sent = false;
    // The local adapter that served the device, when the program runs on several; else empty.
    std::string adapter{};
    // Why the push ended as it did, in a few words for the operator: "Sent", "Not reachable", ...
    std::string detail{};
    // The full text of the error that ended a failed push; empty when sent.
    std::string error{};
    // The device's OBEX response code to the push, when it answered one.
    std::optional<int> responseCode{};
    // How the push ended, for whoever keeps count.
    PushEnd end = PushEnd::Failed;
    // The device's 24-bit class of device, as its inquiry reported it; 0 when unknown.
    std::int32_t deviceClass = 0;
};

}  // namespace flarecast::engine
