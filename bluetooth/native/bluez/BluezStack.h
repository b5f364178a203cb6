#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bluetooth/native/HandleTable.h"
#include "bluetooth/native/NativeStack.h"
#include "bluetooth/native/bluez/BluezAdapter.h"
#include "bluetooth/native/bluez/RfcommSocket.h"
#include "bluetooth/native/bluez/SdpClient.h"
#include "bluetooth/native/bluez/ServiceRegistry.h"

namespace flarecast::bluetooth::bluez {

// Linux's Bluetooth through BlueZ, as an ordinary user next to the desktop's bluetoothd:
// discovery and service records through bluetoothd's D-Bus API, SDP queries through
// libbluetooth's client, RFCOMM through the kernel's sockets. On several adapters each inquires,
// searches and connects from its own address; listening and service records stay on the first.
class BluezStack final : public NativeStack {
public:
    struct Timing {
        std::chrono::milliseconds inquiry{kStandardInquiry};
        // Longer than a page of a device that is in range, bounded for one that is not.
        std::chrono::milliseconds connect{20000};
        std::chrono::milliseconds sdp{20000};
    };

    // The adapters named by wanted (see chooseAdapters), or the first one. An I/O error whose
    // message says what is missing when there is no such adapter or no bluetoothd to ask.
    static std::unique_ptr<BluezStack> open(std::string_view wanted, Timing timing);
    static std::unique_ptr<BluezStack> open(std::string_view wanted) { return open(wanted, {}); }

    // Adapter 0 first; never empty.
    BluezStack(const std::vector<AdapterInfo>& adapters, Timing timing);

    // Adapter 0's.
    const AdapterInfo& adapterInfo() const { return locals.front().info; }

    std::vector<std::string> adapters() override;
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
    std::chrono::milliseconds inquiryLength() override { return timing.inquiry; }
    int doInquiry(int accessCode, const DeviceFound& found, std::stop_token cancel,
                  int adapter) override;
    std::optional<std::vector<int>> getServiceHandles(std::span<const UUID> uuids,
                                                      std::int64_t address, int adapter) override;
    Bytes getServiceAttributes(std::span<const int> attrIDs, std::int64_t address, int handle,
                               int adapter) override;

private:
    struct Socket {
        explicit Socket(std::unique_ptr<RfcommSocket> rfcomm) : rfcomm(std::move(rfcomm)) {}
        std::unique_ptr<RfcommSocket> rfcomm;
        // Set on an accepted socket: the address of the device at the other end.
        std::optional<std::int64_t> remoteAddress;
    };

    struct Local {
        Local(AdapterInfo info, std::chrono::milliseconds sdpLimit);
        AdapterInfo info;
        bdaddr_t address;
        SdpClient sdp;
    };

    static std::vector<Local> localsOf(const std::vector<AdapterInfo>& adapters,
                                       std::chrono::milliseconds sdpLimit);
    // An I/O error for a number that names no adapter in use.
    const Local& local(int adapter) const;

    const Timing timing;
    const std::vector<Local> locals;
    ServiceRegistry services;

    HandleTable<Socket> sockets{"no such socket"};
};

}  // namespace flarecast::bluetooth::bluez
