#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bluetooth/native/HandleTable.h"
#include "bluetooth/native/NativeStack.h"
#include "bluetooth/native/winsock/RfcommSocket.h"

namespace flarecast::bluetooth::winsock {

// Windows' own Bluetooth through Winsock: inquiries and SDP queries as lookups in its Bluetooth
// name space, service records through WSASetService, RFCOMM through AF_BTH sockets. Windows
// sockets use the one radio it has, so the stack runs on a single adapter.
class WinsockStack final : public NativeStack {
public:
    struct Timing {
        // Windows takes it in whole seconds.
        std::chrono::milliseconds inquiry{kStandardInquiry};
        // Longer than a page of a device that is in range, bounded for one that is not.
        std::chrono::milliseconds connect{20000};
    };

    // Starts Winsock and finds the radio; an I/O error whose message says what is missing
    // without one.
    explicit WinsockStack(Timing timing);
    static std::unique_ptr<WinsockStack> open(Timing timing);
    static std::unique_ptr<WinsockStack> open() { return open({}); }
    ~WinsockStack() override;

    // The radio's own address.
    std::int64_t localAddress() const { return radio; }

    int socket(bool authenticate, bool encrypt) override;
    std::int64_t getsockaddress(int handle) override;
    int getsockchannel(int handle) override;
    void connect(int handle, std::int64_t address, int channel, int adapter) override;
    void listen(int handle) override;
    int accept(int handle) override;
    int recv(int handle) override;
    int recv(int handle, std::span<std::uint8_t> buffer) override;
    void send(int handle, int byte) override;
    void send(int handle, std::span<const std::uint8_t> bytes) override;
    void close(int handle) override;
    int registerService(std::span<const std::uint8_t> record) override;
    void unregisterService(int handle) override;
    std::chrono::milliseconds inquiryLength() override;
    int doInquiry(int accessCode, const DeviceFound& found, std::stop_token cancel,
                  int adapter) override;
    std::optional<std::vector<int>> getServiceHandles(std::span<const UUID> uuids,
                                                      std::int64_t address, int adapter) override;
    Bytes getServiceAttributes(std::span<const int> attrIDs, std::int64_t address, int handle,
                               int adapter) override;

private:
    // One service record that Windows' SDP server holds, until the object goes.
    class Registration;

    // Winsock, started for as long as the stack lives.
    class Started {
    public:
        Started();
        ~Started();
        Started(const Started&) = delete;
        Started& operator=(const Started&) = delete;
    };

    // An I/O error for a number that names no adapter in use.
    static void requireAdapter(int adapter);

    // First, so that Winsock outlives every socket.
    const Started winsock;
    const Timing timing;
    const std::int64_t radio;
    HandleTable<RfcommSocket> sockets{"no such socket"};
    HandleTable<Registration> services{"no such service"};
};

}  // namespace flarecast::bluetooth::winsock
