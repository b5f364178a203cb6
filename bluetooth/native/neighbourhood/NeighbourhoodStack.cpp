#include "bluetooth/native/neighbourhood/NeighbourhoodStack.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "bluetooth/discovery/DiscoveryListener.h"
#include "bluetooth/discovery/RemoteDevice.h"
#include "bluetooth/io/Errors.h"
#include "bluetooth/io/StoppableWaits.h"
#include "bluetooth/native/neighbourhood/SimulatedRecords.h"

namespace flarecast::bluetooth {

namespace {

constexpr int kMaxChannel = 30;
constexpr int kFirstRecordHandle = 0x10000;
const std::string kLoopback = "127.0.0.1";

std::vector<Neighbourhood::Adapter> adaptersOf(const Neighbourhood& world) {
    if (world.adapters.empty()) {
        return {{"hci0", world.localAddress}};
    }
    return world.adapters;
}

}  // namespace

NeighbourhoodStack::NeighbourhoodStack(Neighbourhood world,
                                       std::shared_ptr<VirtualPhoneHost> phoneHost)
    : world(std::move(world)),
      phoneHost(std::move(phoneHost)),
      localAdapters(adaptersOf(this->world)) {
    for (std::size_t i = 0; i < localAdapters.size(); ++i) {
        radios.push_back(std::make_unique<SimulatedRadio>(this->world.radio));
    }
}

std::vector<std::string> NeighbourhoodStack::adapters() {
    std::vector<std::string> names;
    for (const auto& adapter : localAdapters) {
        names.push_back(adapter.name);
    }
    return names;
}

SimulatedRadio& NeighbourhoodStack::radioOf(int adapter) {
    if (adapter < 0 || static_cast<std::size_t>(adapter) >= radios.size()) {
        throw IOError("no local adapter number " + std::to_string(adapter));
    }
    return *radios[static_cast<std::size_t>(adapter)];
}

bool NeighbourhoodStack::inRange(const Neighbourhood::Device& device, int adapter) const {
    if (device.inRangeOf.empty()) {
        return true;
    }
    const std::string& name = localAdapters.at(static_cast<std::size_t>(adapter)).name;
    return std::find(device.inRangeOf.begin(), device.inRangeOf.end(), name) !=
           device.inRangeOf.end();
}

const Neighbourhood::Device& NeighbourhoodStack::deviceAt(std::int64_t address, int adapter) const {
    if (adapter < 0 || static_cast<std::size_t>(adapter) >= localAdapters.size()) {
        throw IOError("no local adapter number " + std::to_string(adapter));
    }
    for (const auto& device : world.devices) {
        if (device.address == address && inRange(device, adapter)) {
            return device;
        }
    }
    throw IOError("no device in range has that address");
}

int NeighbourhoodStack::socket(bool /*authenticate*/, bool /*encrypt*/) {
    return sockets.add(std::make_shared<Socket>());
}

std::int64_t NeighbourhoodStack::getsockaddress(int handle) {
    return sockets.find(handle)->remoteAddress.value_or(world.localAddress);
}

int NeighbourhoodStack::getsockchannel(int handle) {
    const auto socket = sockets.find(handle);
    if (socket->channel == 0) {
        throw IOError("socket is not listening");
    }
    return socket->channel;
}

void NeighbourhoodStack::connect(int handle, std::int64_t address, int channel, int adapter) {
    const auto socket = sockets.find(handle);
    SimulatedRadio& radio = radioOf(adapter);
    const auto& device = deviceAt(address, adapter);
    auto link = radio.reach(address, socket->closing.get_token());
    if (!link) {
        throw IOError("connection closed while paging");
    }
    const auto target = device.rfcomm.find(channel);
    if (target == device.rfcomm.end()) {
        throw IOError("connection refused");
    }
    socket->radio = &radio;
    socket->link.emplace(std::move(*link));
    if (const auto* endpoint = std::get_if<Neighbourhood::Endpoint>(&target->second)) {
        socket->tcp = TcpSocket::connectTo(endpoint->host, endpoint->port);
    } else {
        socket->tcp = TcpSocket::connectTo(
            kLoopback, phonePort(address, channel, std::get<VirtualPhoneProfile>(target->second)));
    }
}

std::uint16_t NeighbourhoodStack::phonePort(std::int64_t address, int channel,
                                            const VirtualPhoneProfile& profile) {
    const std::lock_guard lock(phonesLock);
    auto& phone = phones[{address, channel}];
    if (!phone) {
        if (!phoneHost) {
            throw IOError("channel " + std::to_string(channel) + " of " + formatAddress(address) +
                          " is a virtual phone, but this program runs no virtual phones");
        }
        phone = phoneHost->start(profile);
    }
    return phone->port();
}

int NeighbourhoodStack::freeChannel(const HandleTable<Socket>::Entries& open) const {
    std::vector<int> inUse;
    for (const auto& [handle, socket] : open) {
        inUse.push_back(socket->channel);
    }
    const auto isFree = [&inUse](int channel) {
        return std::find(inUse.begin(), inUse.end(), channel) == inUse.end();
    };
    // Channels with a pinned port first, so that a file can say where a server will be.
    for (const auto& [channel, port] : world.localRfcommPorts) {
        if (isFree(channel)) {
            return channel;
        }
    }
    for (int channel = 1; channel <= kMaxChannel; ++channel) {
        if (isFree(channel)) {
            return channel;
        }
    }
    throw IOError("no free RFCOMM channel");
}

void NeighbourhoodStack::listen(int handle) {
    const auto socket = sockets.find(handle);
    // Chosen and taken under the table's lock, so that two listens never share a channel.
    sockets.locked([&](const HandleTable<Socket>::Entries& open) {
        const int channel = freeChannel(open);
        const auto pinned = world.localRfcommPorts.find(channel);
        socket->tcp = TcpSocket::listenOn(
            kLoopback, pinned == world.localRfcommPorts.end() ? 0 : pinned->second);
        socket->channel = channel;
    });
}

int NeighbourhoodStack::accept(int handle) {
    const auto listening = sockets.find(handle);
    auto accepted = std::make_shared<Socket>();
    accepted->tcp = listening->tcp.accept();
    // A TCP client does not say which device it stands for.
    accepted->remoteAddress = 0;
    return sockets.add(std::move(accepted));
}

int NeighbourhoodStack::recv(int handle) {
    std::uint8_t byte = 0;
    return recv(handle, {&byte, 1}) < 0 ? -1 : byte;
}

int NeighbourhoodStack::recv(int handle, std::span<std::uint8_t> buffer) {
    if (buffer.empty()) {
        return 0;
    }
    const std::size_t count = sockets.find(handle)->tcp.receive(buffer);
    return count == 0 ? -1 : static_cast<int>(count);
}

void NeighbourhoodStack::send(int handle, int byte) {
    const auto low = static_cast<std::uint8_t>(byte);
    send(handle, {&low, 1});
}

void NeighbourhoodStack::send(int handle, std::span<const std::uint8_t> bytes) {
    const auto socket = sockets.find(handle);
    if (socket->radio != nullptr &&
        !socket->radio->carry(bytes.size(), socket->closing.get_token())) {
        throw IOError("connection closed");
    }
    socket->tcp.sendAll(bytes);
}

void NeighbourhoodStack::close(int handle) {
    const auto socket = sockets.take(handle);
    // Wakes a thread blocked on it; the descriptor goes with the last user.
    socket->closing.request_stop();
    socket->tcp.shutdown();
}

int NeighbourhoodStack::registerService(std::span<const std::uint8_t> record) {
    const std::lock_guard lock(servicesLock);
    const int handle = nextService++;
    registered.emplace(handle, Bytes(record.begin(), record.end()));
    return handle;
}

void NeighbourhoodStack::unregisterService(int handle) {
    const std::lock_guard lock(servicesLock);
    if (registered.erase(handle) == 0) {
        throw IOError("no such service");
    }
}

std::chrono::milliseconds NeighbourhoodStack::inquiryLength() {
    return std::chrono::milliseconds(world.inquiryMs);
}

int NeighbourhoodStack::doInquiry(int /*accessCode*/, const DeviceFound& found,
                                  std::stop_token cancel, int adapter) {
    radioOf(adapter);
    std::vector<const Neighbourhood::Device*> visible;
    for (const auto& device : world.devices) {
        if (device.visible && inRange(device, adapter)) {
            visible.push_back(&device);
        }
    }
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto total = inquiryLength();
    std::mutex lock;
    std::condition_variable_any wake;
    std::unique_lock guard(lock);
    // Reports are spread over the inquiry, the last one before it ends.
    for (std::size_t i = 0; i <= visible.size(); ++i) {
        const auto due =
            start + total * static_cast<long>(i + 1) / static_cast<long>(visible.size() + 1);
        // Nothing but the stop request or the time wakes this wait.
        stoppableWaitUntil(wake, guard, cancel, due, [] { return false; });
        if (cancel.stop_requested()) {
            return DiscoveryListener::INQUIRY_TERMINATED;
        }
        if (i < visible.size()) {
            found(visible[i]->name, visible[i]->address, visible[i]->deviceClass);
        }
    }
    return DiscoveryListener::INQUIRY_COMPLETED;
}

std::optional<std::vector<int>> NeighbourhoodStack::getServiceHandles(std::span<const UUID> uuids,
                                                                      std::int64_t address,
                                                                      int adapter) {
    std::vector<int> handles;
    if (address == world.localAddress) {
        const std::lock_guard lock(servicesLock);
        for (const auto& [handle, record] : registered) {
            if (recordHoldsAll(record, uuids)) {
                handles.push_back(handle);
            }
        }
        return handles;
    }
    const auto& device = deviceAt(address, adapter);
    // A search pages the device as a connection does; nothing cancels it but its own end.
    const auto link = radioOf(adapter).reach(address, {});
    switch (device.sdp) {
        case Neighbourhood::Sdp::None:
            return handles;
        case Neighbourhood::Sdp::Error:
            return std::nullopt;
        case Neighbourhood::Sdp::Unreachable:
            throw IOError("device not reachable");
        case Neighbourhood::Sdp::Records:
            break;
    }
    int handle = kFirstRecordHandle;
    for (const auto& service : device.services) {
        if (serviceHoldsAll(service, uuids)) {
            handles.push_back(handle);
        }
        ++handle;
    }
    for (const auto& record : device.records) {
        if (recordHoldsAll(record, uuids)) {
            handles.push_back(handle);
        }
        ++handle;
    }
    return handles;
}

Bytes NeighbourhoodStack::getServiceAttributes(std::span<const int> attrIDs, std::int64_t address,
                                               int handle, int adapter) {
    if (address == world.localAddress) {
        const std::lock_guard lock(servicesLock);
        const auto found = registered.find(handle);
        return found == registered.end() ? Bytes{} : found->second;
    }
    const auto& device = deviceAt(address, adapter);
    if (device.sdp == Neighbourhood::Sdp::Unreachable) {
        throw IOError("device not reachable");
    }
    const auto index = static_cast<std::size_t>(handle - kFirstRecordHandle);
    if (handle < kFirstRecordHandle || index >= device.services.size() + device.records.size()) {
        return {};
    }
    if (index < device.services.size()) {
        return standardRecord(device.services[index], handle, attrIDs);
    }
    return device.records[index - device.services.size()];
}

}  // namespace flarecast::bluetooth
