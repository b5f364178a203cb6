#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace flarecast::engine {

// A device as an inquiry reported it, before its search.
struct SeenDevice {
    std::string address;
    std::string name;
    // The 24-bit class of device; 0 when the inquiry did not say.
    std::int32_t deviceClass = 0;
    // The local adapter that found it, when the program runs on several; else empty.
    std::string adapter{};
};

// Decides, once per pass for each device found, whether the pass serves it; called from the
// engine's threads, one device at a time per adapter. A refused device is not searched, not
// pushed and leaves no row; the gate tells whoever needs to know why.
class DeviceGate {
public:
    virtual ~DeviceGate() = default;
    // Why the device is skipped, in a few words, or nothing to serve it.
    virtual std::optional<std::string> refusal(const SeenDevice& device) = 0;
    // The search of a device that was let through has ended.
    virtual void searched(const SeenDevice& device, bool offersObjectPush) = 0;
};

}  // namespace flarecast::engine
