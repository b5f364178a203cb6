#include "bluetooth/native/winsock/WinsockQueries.h"

#include <cstddef>
#include <cstring>

#include "bluetooth/native/windows/WindowsText.h"
#include "bluetooth/native/winsock/SdpBlobs.h"
#include "bluetooth/native/winsock/WinsockAddress.h"

namespace flarecast::bluetooth::winsock {

namespace {

constexpr std::uint32_t kClassOfDeviceBits = 0xFFFFFF;

// Whole 64-bit words for count bytes, so that a structure placed there is aligned.
std::vector<std::uint64_t> wordsFor(std::size_t count) {
    return std::vector<std::uint64_t>((count + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t));
}

// The fields that every query of a device's records shares.
void restrictToDevice(WSAQUERYSETW& set, std::wstring& context, GUID& serviceClass, BLOB& blob) {
    set.dwSize = sizeof set;
    set.dwNameSpace = NS_BTH;
    set.lpszContext = context.data();
    // Required even where the blob says what to search for.
    set.lpServiceClassId = &serviceClass;
    set.lpBlob = &blob;
}

}  // namespace

GUID toGuid(const GuidFields& fields) {
    GUID guid{};
    guid.Data1 = fields.data1;
    guid.Data2 = fields.data2;
    guid.Data3 = fields.data3;
    std::memcpy(guid.Data4, fields.data4.data(), fields.data4.size());
    return guid;
}

SOCKADDR_BTH rfcommAddress(std::int64_t address, ULONG port) {
    SOCKADDR_BTH result{};
    result.addressFamily = AF_BTH;
    result.btAddr = toBthAddr(address);
    result.port = port;
    return result;
}

InquiryQuery::InquiryQuery(int accessCode, std::chrono::milliseconds length) {
    query.LAP = static_cast<ULONG>(accessCode);
    query.length = static_cast<UCHAR>(inquirySeconds(length));
    blob.cbSize = sizeof query;
    blob.pBlobData = reinterpret_cast<BYTE*>(&query);
    set.dwSize = sizeof set;
    set.dwNameSpace = NS_BTH;
    set.lpBlob = &blob;
}

std::optional<FoundDevice> foundDevice(const WSAQUERYSETW& result) {
    if (result.dwNumberOfCsAddrs < 1 || result.lpcsaBuffer == nullptr) {
        return std::nullopt;
    }
    const SOCKET_ADDRESS& remote = result.lpcsaBuffer->RemoteAddr;
    if (remote.lpSockaddr == nullptr ||
        remote.iSockaddrLength < static_cast<INT>(sizeof(SOCKADDR_BTH))) {
        return std::nullopt;
    }
    SOCKADDR_BTH address;
    std::memcpy(&address, remote.lpSockaddr, sizeof address);
    if (address.addressFamily != AF_BTH) {
        return std::nullopt;
    }
    FoundDevice device;
    device.address = fromBthAddr(address.btAddr);
    if (result.lpszServiceInstanceName != nullptr) {
        device.name = narrow(result.lpszServiceInstanceName);
    }
    if (result.lpServiceClassId != nullptr) {
        device.deviceClass = static_cast<int>(result.lpServiceClassId->Data1 & kClassOfDeviceBits);
    }
    return device;
}

ServiceSearchQuery::ServiceSearchQuery(std::int64_t address, std::span<const SearchUuid> uuids)
    : context(widen(addressContext(address))) {
    query.type = SDP_SERVICE_SEARCH_ATTRIBUTE_REQUEST;
    for (std::size_t i = 0; i < uuids.size() && i < MAX_UUIDS_IN_QUERY; ++i) {
        SdpQueryUuid& uuid = query.uuids[i];
        if (uuids[i].shortForm) {
            uuid.u.uuid16 = *uuids[i].shortForm;
            uuid.uuidType = SDP_ST_UUID16;
        } else {
            uuid.u.uuid128 = toGuid(uuids[i].guid);
            uuid.uuidType = SDP_ST_UUID128;
        }
    }
    // The record handle is all a search needs of each record.
    query.numRange = 1;
    query.pRange[0] = {0x0000, 0x0000};
    if (!uuids.empty()) {
        serviceClass = toGuid(uuids.front().guid);
    }
    blob.cbSize = sizeof query;
    blob.pBlobData = reinterpret_cast<BYTE*>(&query);
    restrictToDevice(set, context, serviceClass, blob);
}

AttributeQuery::AttributeQuery(std::int64_t address, std::uint32_t handle,
                               std::span<const AttributeRange> ranges)
    : context(widen(addressContext(address))),
      serviceClass(toGuid(guidOf(UUID::L2CAP_PROTOCOL_UUID))) {
    constexpr std::size_t kFixed = offsetof(BTH_QUERY_SERVICE, pRange);
    const std::size_t size = kFixed + ranges.size() * sizeof(SdpAttributeRange);
    storage = wordsFor(size);
    auto* const bytes = reinterpret_cast<std::uint8_t*>(storage.data());
    BTH_QUERY_SERVICE fixed{};
    fixed.type = SDP_SERVICE_ATTRIBUTE_REQUEST;
    fixed.serviceHandle = handle;
    fixed.numRange = static_cast<ULONG>(ranges.size());
    std::memcpy(bytes, &fixed, kFixed);
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        const SdpAttributeRange range{ranges[i].first, ranges[i].last};
        std::memcpy(bytes + kFixed + i * sizeof range, &range, sizeof range);
    }
    blob.cbSize = static_cast<ULONG>(size);
    blob.pBlobData = bytes;
    restrictToDevice(set, context, serviceClass, blob);
}

BTH_QUERY_SERVICE AttributeQuery::service() const {
    BTH_QUERY_SERVICE fixed{};
    std::memcpy(&fixed, storage.data(), offsetof(BTH_QUERY_SERVICE, pRange));
    return fixed;
}

std::vector<SdpAttributeRange> AttributeQuery::ranges() const {
    constexpr std::size_t kFixed = offsetof(BTH_QUERY_SERVICE, pRange);
    const auto* const bytes = reinterpret_cast<const std::uint8_t*>(storage.data());
    std::vector<SdpAttributeRange> result(service().numRange);
    for (std::size_t i = 0; i < result.size(); ++i) {
        std::memcpy(&result[i], bytes + kFixed + i * sizeof(SdpAttributeRange),
                    sizeof(SdpAttributeRange));
    }
    return result;
}

SetServiceQuery::SetServiceQuery(std::span<const std::uint8_t> record)
    : recordLength(record.size()) {
    constexpr std::size_t kFixed = offsetof(BTH_SET_SERVICE, pRecord);
    const std::size_t size = kFixed + record.size();
    storage = wordsFor(size);
    auto* const bytes = reinterpret_cast<std::uint8_t*>(storage.data());
    BTH_SET_SERVICE fixed{};
    fixed.pSdpVersion = &version;
    fixed.pRecordHandle = &handle;
    fixed.ulRecordLength = static_cast<ULONG>(record.size());
    std::memcpy(bytes, &fixed, kFixed);
    std::memcpy(bytes + kFixed, record.data(), record.size());
    blob.cbSize = static_cast<ULONG>(size);
    blob.pBlobData = bytes;
    set.dwSize = sizeof set;
    set.dwNameSpace = NS_BTH;
    set.lpBlob = &blob;
    if (const auto uuid = firstServiceClass(record)) {
        serviceClass = toGuid(guidOf(*uuid));
        set.lpServiceClassId = &serviceClass;
    }
}

BTH_SET_SERVICE SetServiceQuery::service() const {
    BTH_SET_SERVICE fixed{};
    std::memcpy(&fixed, storage.data(), offsetof(BTH_SET_SERVICE, pRecord));
    return fixed;
}

std::span<const std::uint8_t> SetServiceQuery::record() const {
    const auto* const bytes = reinterpret_cast<const std::uint8_t*>(storage.data());
    return {bytes + offsetof(BTH_SET_SERVICE, pRecord), recordLength};
}

}  // namespace flarecast::bluetooth::winsock
