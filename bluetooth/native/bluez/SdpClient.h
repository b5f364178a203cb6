#pragma once

#include <bluetooth/bluetooth.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "bluetooth/io/Streams.h"
#include "bluetooth/sdp/UUID.h"

namespace flarecast::bluetooth::bluez {

// SDP requests to a remote device through libbluetooth's client, one session per request. A
// device that cannot be reached is an I/O error; every wait ends within the given limit.
class SdpClient {
public:
    SdpClient(const bdaddr_t& adapter, std::chrono::milliseconds limit)
        : adapter(adapter), limit(limit) {}

    // Nothing when the device answered with an error.
    std::optional<std::vector<int>> serviceHandles(const bdaddr_t& device,
                                                   std::span<const UUID> uuids) const;
    // The record's attributes as one SDP sequence of ID / value pairs; empty when the device
    // returned none.
    Bytes serviceAttributes(const bdaddr_t& device, std::uint32_t handle,
                            std::span<const int> attrIDs) const;

private:
    const bdaddr_t adapter;
    const std::chrono::milliseconds limit;
};

}  // namespace flarecast::bluetooth::bluez
