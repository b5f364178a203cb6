#pragma once

#include <chrono>
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

    // A local adapter; the first one's address is the local address.
    struct Adapter {
        std::string name;
        std::int64_t address = 0;
    };

    // What every adapter's radio costs its links: one shared rate and one page at a time.
    struct Radio {
        // Shared by every link of the adapter at once; without it each link has its own.
        std::optional<std::int64_t> bytesPerSecond;
        // Each new connection and each SDP search pages the device first; a page takes a time
        // drawn evenly from this range.
        std::chrono::milliseconds pagingMin{0};
        std::chrono::milliseconds pagingMax{0};
    };

    struct Device {
        std::int64_t address = 0;
        std::string name;
        int deviceClass = 0;
        bool visible = true;
        Sdp sdp = Sdp::Records;
        std::vector<Service> services;
        std::vector<Bytes> records;
        std::map<int, Target> rfcomm;
        // The names of the adapters in whose range it is; empty: all of them.
        std::vector<std::string> inRangeOf;
    };

    std::int64_t localAddress = 0;
    std::map<int, std::uint16_t> localRfcommPorts;
    int inquiryMs = 1000;
    // Empty: one adapter, hci0, at the local address.
    std::vector<Adapter> adapters;
    std::optional<Radio> radio;
    std::vector<Device> devices;
};

}  // namespace flarecast::bluetooth
