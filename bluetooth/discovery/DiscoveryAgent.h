#pragma once

#include <chrono>
#include <optional>
#include <vector>

#include "bluetooth/discovery/DiscoveryListener.h"
#include "bluetooth/sdp/UUID.h"

namespace flarecast::bluetooth {

// Starts inquiries and service searches on the local device's peer; each runs on a thread of its
// own and reports to its listener.
class DiscoveryAgent {
public:
    static constexpr int GIAC = 0x9E8B33;
    static constexpr int LIAC = 0x9E8B00;
    static constexpr int NOT_DISCOVERABLE = 0;
    static constexpr int CACHED = 0;
    static constexpr int PREKNOWN = 1;

    // Returns at once; always true. On the first local adapter unless another is named by its
    // number.
    bool startInquiry(int accessCode, DiscoveryListener& listener, int adapter = 0);
    // Returns at once the transaction identifier, always 0. Without an attribute set the records
    // carry the attributes 0x0000 to 0x0004.
    int searchServices(std::optional<std::vector<int>> attrSet, std::vector<UUID> uuidSet,
                       const RemoteDevice& device, DiscoveryListener& listener);
    // No cached or pre-known devices are kept.
    std::optional<std::vector<RemoteDevice>> retrieveDevices(int /*option*/) const { return {}; }
    bool cancelInquiry(DiscoveryListener* listener);
    // The longest an inquiry runs; the standard 10.24 s unless the native stack knows better.
    std::chrono::milliseconds inquiryLength() const;
};

}  // namespace flarecast::bluetooth
