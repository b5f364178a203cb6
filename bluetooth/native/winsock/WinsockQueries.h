#pragma once

// clang-format off
#include <winsock2.h>
#include <ws2bth.h>
// clang-format on

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "bluetooth/native/winsock/QueryValues.h"

namespace flarecast::bluetooth::winsock {

// The query sets of Windows' Bluetooth name space (NS_BTH), each with the blob it points to.
// They point into themselves, so none of them may be copied or moved.

GUID toGuid(const GuidFields& fields);

// An RFCOMM address: the device, and the channel as the port.
SOCKADDR_BTH rfcommAddress(std::int64_t address, ULONG port);

// An inquiry for the devices that answer the access code within length.
class InquiryQuery {
public:
    static constexpr DWORD kBeginFlags = LUP_CONTAINERS | LUP_FLUSHCACHE;
    static constexpr DWORD kNextFlags =
        LUP_CONTAINERS | LUP_RETURN_NAME | LUP_RETURN_ADDR | LUP_RETURN_TYPE;

    InquiryQuery(int accessCode, std::chrono::milliseconds length);
    InquiryQuery(const InquiryQuery&) = delete;
    InquiryQuery& operator=(const InquiryQuery&) = delete;

    WSAQUERYSETW& restrictions() { return set; }
    const BTH_QUERY_DEVICE& device() const { return query; }

private:
    BTH_QUERY_DEVICE query{};
    BLOB blob{};
    WSAQUERYSETW set{};
};

// A device as an inquiry's result names it: its name in UTF-8, address and class of device.
struct FoundDevice {
    std::string name;
    std::int64_t address = 0;
    int deviceClass = 0;

    friend bool operator==(const FoundDevice&, const FoundDevice&) = default;
};
// Nothing for a result without a Bluetooth address.
std::optional<FoundDevice> foundDevice(const WSAQUERYSETW& result);

// A search of the device's SDP records that hold all the UUIDs, asking each for its handle
// alone: one SDP service search attribute request.
class ServiceSearchQuery {
public:
    static constexpr DWORD kBeginFlags = LUP_FLUSHCACHE;
    static constexpr DWORD kNextFlags = LUP_RETURN_BLOB;

    ServiceSearchQuery(std::int64_t address, std::span<const SearchUuid> uuids);
    ServiceSearchQuery(const ServiceSearchQuery&) = delete;
    ServiceSearchQuery& operator=(const ServiceSearchQuery&) = delete;

    WSAQUERYSETW& restrictions() { return set; }
    const BTH_QUERY_SERVICE& service() const { return query; }

private:
    std::wstring context;
    GUID serviceClass{};
    BTH_QUERY_SERVICE query{};
    BLOB blob{};
    WSAQUERYSETW set{};
};

// A request for the attributes in the ranges of the device's record with that handle: one SDP
// service attribute request, whose range list has as many entries as it needs.
class AttributeQuery {
public:
    static constexpr DWORD kBeginFlags = LUP_FLUSHCACHE;
    static constexpr DWORD kNextFlags = LUP_RETURN_BLOB;

    // ranges: one at least.
    AttributeQuery(std::int64_t address, std::uint32_t handle,
                   std::span<const AttributeRange> ranges);
    AttributeQuery(const AttributeQuery&) = delete;
    AttributeQuery& operator=(const AttributeQuery&) = delete;

    WSAQUERYSETW& restrictions() { return set; }
    // The blob's fixed part, and its ranges in order.
    BTH_QUERY_SERVICE service() const;
    std::vector<SdpAttributeRange> ranges() const;

private:
    std::wstring context;
    GUID serviceClass{};
    std::vector<std::uint64_t> storage;
    BLOB blob{};
    WSAQUERYSETW set{};
};

// The registration of one SDP record with the local SDP server through WSASetService; the same
// set deletes it again once registering has filled in its handle.
class SetServiceQuery {
public:
    explicit SetServiceQuery(std::span<const std::uint8_t> record);
    SetServiceQuery(const SetServiceQuery&) = delete;
    SetServiceQuery& operator=(const SetServiceQuery&) = delete;

    WSAQUERYSETW& registration() { return set; }
    // The handle that registering gave the record; null before.
    HANDLE recordHandle() const { return handle; }
    // The blob's fixed part, and the record it carries.
    BTH_SET_SERVICE service() const;
    std::span<const std::uint8_t> record() const;

private:
    ULONG version = BTH_SDP_VERSION;
    HANDLE handle = nullptr;
    std::vector<std::uint64_t> storage;
    std::size_t recordLength = 0;
    GUID serviceClass{};
    BLOB blob{};
    WSAQUERYSETW set{};
};

}  // namespace flarecast::bluetooth::winsock
