#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "bluetooth/native/HandleTable.h"
#include "bluetooth/native/NativeStack.h"
#include "bluetooth/native/neighbourhood/Neighbourhood.h"
#include "bluetooth/native/neighbourhood/SimulatedRadio.h"
#include "bluetooth/native/neighbourhood/VirtualPhoneHost.h"
#include "bluetooth/native/TcpSocket.h"

namespace flarecast::bluetooth {

// The native stack of tests and demos: devices come from a neighbourhood file, and RFCOMM
// channels are TCP connections on loopback, so any OBEX-over-TCP server can stand in for a phone.
// The virtual phones of the file start at their first connection, on phoneHost, and run until
// the stack goes. Each adapter has a radio of its own.
class NeighbourhoodStack final : public NativeStack {
public:
    explicit NeighbourhoodStack(Neighbourhood world,
                                std::shared_ptr<VirtualPhoneHost> phoneHost = nullptr);

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
    // The file's inquiry_ms.
    std::chrono::milliseconds inquiryLength() override;
    int doInquiry(int accessCode, const DeviceFound& found, std::stop_token cancel,
                  int adapter) override;
    std::optional<std::vector<int>> getServiceHandles(std::span<const UUID> uuids,
                                                      std::int64_t address, int adapter) override;
    Bytes getServiceAttributes(std::span<const int> attrIDs, std::int64_t address, int handle,
                               int adapter) override;

private:
    struct Socket {
        TcpSocket tcp;
        int channel = 0;
        // The radio that carries what a connected socket sends, and its link.
        SimulatedRadio* radio = nullptr;
        std::optional<SimulatedRadio::Link> link;
        // Ends a wait for the radio when the socket is closed.
        std::stop_source closing;
        // Set on an accepted socket: the address of the device at the other end.
        std::optional<std::int64_t> remoteAddress;
    };

    // The device, or an I/O error when no device in the adapter's range has that address.
    const Neighbourhood::Device& deviceAt(std::int64_t address, int adapter) const;
    bool inRange(const Neighbourhood::Device& device, int adapter) const;
    SimulatedRadio& radioOf(int adapter);
    int freeChannel(const HandleTable<Socket>::Entries& open) const;
    // The port of the device's phone on that channel, started when first asked for.
    std::uint16_t phonePort(std::int64_t address, int channel, const VirtualPhoneProfile& profile);

    const Neighbourhood world;
    const std::shared_ptr<VirtualPhoneHost> phoneHost;
    const std::vector<Neighbourhood::Adapter> localAdapters;
    std::vector<std::unique_ptr<SimulatedRadio>> radios;

    HandleTable<Socket> sockets{"no such socket"};

    std::mutex servicesLock;
    std::map<int, Bytes> registered;
    int nextService = 0x10000;

    std::mutex phonesLock;
    std::map<std::pair<std::int64_t, int>, std::unique_ptr<HostedPhone>> phones;
};

}  // namespace flarecast::bluetooth
