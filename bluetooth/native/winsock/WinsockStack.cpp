#include "bluetooth/native/winsock/WinsockStack.h"

// clang-format off
#include <winsock2.h>
#include <ws2bth.h>
// clang-format on

#include <stop_token>

#include "bluetooth/discovery/DiscoveryListener.h"
#include "bluetooth/io/Errors.h"
#include "bluetooth/native/windows/WindowsText.h"
#include "bluetooth/native/winsock/QueryValues.h"
#include "bluetooth/native/winsock/SdpBlobs.h"
#include "bluetooth/native/winsock/ServiceLookup.h"
#include "bluetooth/native/winsock/WinsockAddress.h"
#include "bluetooth/native/winsock/WinsockErrors.h"
#include "bluetooth/native/winsock/WinsockQueries.h"

namespace flarecast::bluetooth::winsock {

namespace {

// The portable parts know Winsock's errors by number.
static_assert(wsa::kAccessDenied == WSAEACCES && wsa::kInvalidArgument == WSAEINVAL &&
              wsa::kWrongProtocolType == WSAEPROTOTYPE &&
              wsa::kProtocolNotSupported == WSAEPROTONOSUPPORT &&
              wsa::kSocketTypeNotSupported == WSAESOCKTNOSUPPORT &&
              wsa::kFamilyNotSupported == WSAEAFNOSUPPORT && wsa::kAddressInUse == WSAEADDRINUSE &&
              wsa::kAddressNotAvailable == WSAEADDRNOTAVAIL && wsa::kNetworkDown == WSAENETDOWN &&
              wsa::kNetworkUnreachable == WSAENETUNREACH && wsa::kNetworkReset == WSAENETRESET &&
              wsa::kConnectionAborted == WSAECONNABORTED &&
              wsa::kConnectionReset == WSAECONNRESET && wsa::kNoBufferSpace == WSAENOBUFS &&
              wsa::kNotConnected == WSAENOTCONN && wsa::kShutDown == WSAESHUTDOWN &&
              wsa::kTimedOut == WSAETIMEDOUT && wsa::kConnectionRefused == WSAECONNREFUSED &&
              wsa::kHostDown == WSAEHOSTDOWN && wsa::kHostUnreachable == WSAEHOSTUNREACH &&
              wsa::kNoMore == WSAENOMORE && wsa::kServiceNotFound == WSASERVICE_NOT_FOUND &&
              wsa::kNoMoreResults == WSA_E_NO_MORE);

std::string errorText(int error) {
    return socketFailure(error).value_or(windowsErrorText(static_cast<unsigned long>(error)));
}

// The radio's address, as a socket bound to it names it; without a radio, an I/O error that says
// what is missing.
std::int64_t findRadio() {
    const SOCKET probe = ::socket(AF_BTH, SOCK_STREAM, BTHPROTO_RFCOMM);
    if (probe == INVALID_SOCKET) {
        const int error = ::WSAGetLastError();
        throw IOError(noBluetooth(error, windowsErrorText(static_cast<unsigned long>(error))));
    }
    struct Closer {
        SOCKET socket;
        ~Closer() { ::closesocket(socket); }
    } closer{probe};
    SOCKADDR_BTH at = rfcommAddress(0, BT_PORT_ANY);
    int size = sizeof at;
    if (::bind(probe, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0 ||
        ::getsockname(probe, reinterpret_cast<sockaddr*>(&at), &size) != 0) {
        const int error = ::WSAGetLastError();
        throw IOError(noBluetooth(error, windowsErrorText(static_cast<unsigned long>(error))));
    }
    return fromBthAddr(at.btAddr);
}

// The raw records that a lookup of a device's SDP records returns; nothing when the device
// answered with an error, an I/O error when it could not be reached.
std::optional<std::vector<Bytes>> recordBlobs(WSAQUERYSETW& restrictions, DWORD beginFlags,
                                              DWORD nextFlags) {
    ServiceLookup lookup(restrictions, beginFlags);
    std::vector<Bytes> blobs;
    while (const WSAQUERYSETW* result = lookup.next(nextFlags)) {
        if (result->lpBlob != nullptr && result->lpBlob->pBlobData != nullptr) {
            const BYTE* const data = result->lpBlob->pBlobData;
            blobs.emplace_back(data, data + result->lpBlob->cbSize);
        }
    }
    if (lookup.error() == 0) {
        return blobs;
    }
    switch (lookupFailure(lookup.error())) {
        case LookupEnd::NoRecords:
            return std::vector<Bytes>{};
        case LookupEnd::Unreachable:
            throw IOError("device not reachable: " + errorText(lookup.error()));
        case LookupEnd::Failed:
            break;
    }
    return std::nullopt;
}

}  // namespace

class WinsockStack::Registration {
public:
    // Windows' SDP server gives the record a handle of its own.
    explicit Registration(std::span<const std::uint8_t> record)
        : query(withoutRecordHandle(record)) {
        if (::WSASetServiceW(&query.registration(), RNRSERVICE_REGISTER, 0) != 0) {
            throw IOError("Windows did not publish the service record: " +
                          errorText(::WSAGetLastError()));
        }
    }
    ~Registration() { ::WSASetServiceW(&query.registration(), RNRSERVICE_DELETE, 0); }
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;

private:
    SetServiceQuery query;
};

WinsockStack::Started::Started() {
    WSADATA data{};
    if (const int error = ::WSAStartup(MAKEWORD(2, 2), &data); error != 0) {
        throw IOError("Winsock cannot start: " +
                      windowsErrorText(static_cast<unsigned long>(error)));
    }
}

WinsockStack::Started::~Started() {
    ::WSACleanup();
}

WinsockStack::WinsockStack(Timing timing) : timing(timing), radio(findRadio()) {}

WinsockStack::~WinsockStack() = default;

std::unique_ptr<WinsockStack> WinsockStack::open(Timing timing) {
    return std::make_unique<WinsockStack>(timing);
}

void WinsockStack::requireAdapter(int adapter) {
    if (adapter != 0) {
        throw IOError("no local adapter number " + std::to_string(adapter));
    }
}

int WinsockStack::socket(bool authenticate, bool encrypt) {
    return sockets.add(std::make_shared<RfcommSocket>(authenticate, encrypt));
}

std::int64_t WinsockStack::getsockaddress(int handle) {
    return sockets.find(handle)->remoteAddress().value_or(radio);
}

int WinsockStack::getsockchannel(int handle) {
    return sockets.find(handle)->channel();
}

void WinsockStack::connect(int handle, std::int64_t address, int channel, int adapter) {
    requireAdapter(adapter);
    sockets.find(handle)->connect(address, channel, timing.connect);
}

void WinsockStack::listen(int handle) {
    sockets.find(handle)->listen();
}

int WinsockStack::accept(int handle) {
    return sockets.add(sockets.find(handle)->accept());
}

int WinsockStack::recv(int handle) {
    std::uint8_t byte = 0;
    return recv(handle, {&byte, 1}) < 0 ? -1 : byte;
}

int WinsockStack::recv(int handle, std::span<std::uint8_t> buffer) {
    if (buffer.empty()) {
        return 0;
    }
    const std::size_t count = sockets.find(handle)->receive(buffer);
    return count == 0 ? -1 : static_cast<int>(count);
}

void WinsockStack::send(int handle, int byte) {
    const auto low = static_cast<std::uint8_t>(byte);
    send(handle, {&low, 1});
}

void WinsockStack::send(int handle, std::span<const std::uint8_t> bytes) {
    sockets.find(handle)->sendAll(bytes);
}

void WinsockStack::close(int handle) {
    // Wakes a thread blocked on it; the socket goes with the last user.
    sockets.take(handle)->shutdown();
}

int WinsockStack::registerService(std::span<const std::uint8_t> record) {
    return services.add(std::make_shared<Registration>(record));
}

void WinsockStack::unregisterService(int handle) {
    services.take(handle);
}

std::chrono::milliseconds WinsockStack::inquiryLength() {
    return std::chrono::seconds(inquirySeconds(timing.inquiry));
}

int WinsockStack::doInquiry(int accessCode, const DeviceFound& found, std::stop_token cancel,
                            int adapter) {
    requireAdapter(adapter);
    if (cancel.stop_requested()) {
        return DiscoveryListener::INQUIRY_TERMINATED;
    }
    InquiryQuery query(accessCode, timing.inquiry);
    // The radio inquires inside Begin, which nothing can end early; the names come after.
    ServiceLookup lookup(query.restrictions(), InquiryQuery::kBeginFlags);
    {
        const std::stop_callback stopping(cancel, [&lookup] { lookup.cancel(); });
        while (const WSAQUERYSETW* result = lookup.next(InquiryQuery::kNextFlags)) {
            if (const auto device = foundDevice(*result)) {
                found(device->name, device->address, device->deviceClass);
            }
        }
    }
    if (cancel.stop_requested()) {
        return DiscoveryListener::INQUIRY_TERMINATED;
    }
    if (lookup.error() != 0 && lookupFailure(lookup.error()) != LookupEnd::NoRecords) {
        throw IOError("the Bluetooth radio cannot search for devices: " +
                      errorText(lookup.error()));
    }
    return DiscoveryListener::INQUIRY_COMPLETED;
}

std::optional<std::vector<int>> WinsockStack::getServiceHandles(std::span<const UUID> uuids,
                                                                std::int64_t address, int adapter) {
    requireAdapter(adapter);
    const auto searched = searchUuids(uuids);
    if (!searched) {
        return std::nullopt;
    }
    ServiceSearchQuery query(address, *searched);
    const auto blobs = recordBlobs(query.restrictions(), ServiceSearchQuery::kBeginFlags,
                                   ServiceSearchQuery::kNextFlags);
    if (!blobs) {
        return std::nullopt;
    }
    try {
        return recordHandles(*blobs);
    } catch (const IOError&) {
        // The device's answer was not SDP records: the search failed.
        return std::nullopt;
    }
}

Bytes WinsockStack::getServiceAttributes(std::span<const int> attrIDs, std::int64_t address,
                                         int handle, int adapter) {
    requireAdapter(adapter);
    // The handle too, to know the record by.
    std::vector<int> asked(attrIDs.begin(), attrIDs.end());
    asked.push_back(0x0000);
    AttributeQuery query(address, static_cast<std::uint32_t>(handle), attributeRanges(asked));
    const auto blobs =
        recordBlobs(query.restrictions(), AttributeQuery::kBeginFlags, AttributeQuery::kNextFlags);
    if (!blobs) {
        return {};
    }
    try {
        return recordAttributes(*blobs, handle, attrIDs);
    } catch (const IOError&) {
        return {};
    }
}

}  // namespace flarecast::bluetooth::winsock
