#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

#include "bluetooth/io/Streams.h"
#include "bluetooth/sdp/UUID.h"

namespace flarecast::bluetooth {

// One operating system's Bluetooth stack (or a simulation of one). Sockets and service
// registrations are plain int handles, never reused within a process; every failure is an I/O
// error. A stack may run on several local adapters, numbered from 0 in the order of adapters();
// listening sockets and service records live on adapter 0.
class NativeStack {
public:
    // A device found by an inquiry.
    using DeviceFound =
        std::function<void(const std::string& name, std::int64_t address, int deviceClass)>;

    // Eight times 1.28 s.
    static constexpr std::chrono::milliseconds kStandardInquiry{10240};

    virtual ~NativeStack() = default;

    // The names of the local adapters in use (hci0, hci1), never empty.
    virtual std::vector<std::string> adapters() { return {"hci0"}; }

    virtual int socket(bool authenticate, bool encrypt) = 0;
    virtual std::int64_t getsockaddress(int handle) = 0;
    virtual int getsockchannel(int handle) = 0;
    // Through the given adapter.
    virtual void connect(int handle, std::int64_t address, int channel, int adapter) = 0;
    virtual void listen(int handle) = 0;
    virtual int accept(int handle) = 0;
    // The next byte, or -1 at the end of the stream.
    virtual int recv(int handle) = 0;
    // The count read into buffer, or -1 at the end of the stream.
    virtual int recv(int handle, std::span<std::uint8_t> buffer) = 0;
    virtual void send(int handle, int byte) = 0;
    virtual void send(int handle, std::span<const std::uint8_t> bytes) = 0;
    virtual void close(int handle) = 0;

    virtual int registerService(std::span<const std::uint8_t> record) = 0;
    virtual void unregisterService(int handle) = 0;

    // The longest an inquiry runs, on any adapter; one cancelled or with nothing left to find may
    // end sooner.
    virtual std::chrono::milliseconds inquiryLength() { return kStandardInquiry; }
    // Blocks for the whole inquiry on one adapter, reporting each device on the calling thread;
    // returns the discovery type for inquiryCompleted. A stop request on cancel ends this
    // inquiry alone, with INQUIRY_TERMINATED.
    virtual int doInquiry(int accessCode, const DeviceFound& found, std::stop_token cancel,
                          int adapter) = 0;
    // Nothing when the search failed; empty when no record matched. Asked through the given
    // adapter.
    virtual std::optional<std::vector<int>> getServiceHandles(std::span<const UUID> uuids,
                                                              std::int64_t address,
                                                              int adapter) = 0;
    // One SDP sequence of attribute ID / value pairs; empty when nothing was read.
    virtual Bytes getServiceAttributes(std::span<const int> attrIDs, std::int64_t address,
                                       int handle, int adapter) = 0;
};

}  // namespace flarecast::bluetooth
