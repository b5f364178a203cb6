#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "bluetooth/io/Streams.h"
#include "bluetooth/native/neighbourhood/VirtualPhoneProfile.h"
#include "bluetooth/sdp/UUID.h"

namespace flarecast::bluetooth {

// A simulated neighbourhood of devices, as a neighbourhood file describes it.
struct Neighbourhood {
    enum class Sdp { Records, None, Error, Unreachable };

    struct Service {
        UUID uuid;
        std::optional<std::string> name;
        int channel = 0;
    };

    // A TCP server that a connection to an RFCOMM channel of a device leads to.
    struct Endpoint {
        std::string host;
        std::uint16_t port = 0;
    };
    // Where a connection to an RFCOMM channel leads: a TCP server, or a virtual phone.
    using Target = std::variant<Endpoint, VirtualPhoneProfile>;

    struct Device {
        std::int64_t address = 0;
        std::string name;
        int deviceClass = 0;
        bool visible = true;
        Sdp sdp = Sdp::Records;
        std::vector<Service> services;
        std::vector<Bytes> records;
        std::map<int, Target> rfcomm;
    };

    std::int64_t localAddress = 0;
    std::map<int, std::uint16_t> localRfcommPorts;
    int inquiryMs = 1000;
    std::vector<Device> devices;
};

}  // namespace flarecast::bluetooth
