#include "bluetooth/native/bluez/BluezStack.h"

#include <sdbus-c++/sdbus-c++.h>

#include "bluetooth/io/Errors.h"
#include "bluetooth/native/bluez/BluezAddress.h"
#include "bluetooth/native/bluez/BluezDiscovery.h"

namespace flarecast::bluetooth::bluez {

std::unique_ptr<BluezStack> BluezStack::open(std::string_view wanted, Timing timing) {
    std::unique_ptr<sdbus::IConnection> bus;
    try {
        bus = sdbus::createSystemBusConnection();
    } catch (const sdbus::Error& error) {
        throw IOError("the system D-Bus cannot be reached (" + error.getMessage() +
                      "), so bluetoothd cannot be asked for an adapter");
    }
    return std::make_unique<BluezStack>(chooseAdapters(listAdapters(*bus), wanted), timing);
}

std::vector<BluezStack::Local> BluezStack::localsOf(const std::vector<AdapterInfo>& adapters,
                                                    std::chrono::milliseconds sdpLimit) {
    if (adapters.empty()) {
        throw IOError("no Bluetooth adapter to run on");
    }
    std::vector<BluezStack::Local> locals;
    locals.reserve(adapters.size());
    for (const auto& adapter : adapters) {
        locals.emplace_back(adapter, sdpLimit);
    }
    return locals;
}

BluezStack::Local::Local(AdapterInfo info, std::chrono::milliseconds sdpLimit)
    : info(std::move(info)), address(toBdaddr(this->info.address)), sdp(address, sdpLimit) {}

BluezStack::BluezStack(const std::vector<AdapterInfo>& adapters, Timing timing)
    : timing(timing), locals(localsOf(adapters, timing.sdp)), services(locals.front().address) {}

const BluezStack::Local& BluezStack::local(int adapter) const {
    if (adapter < 0 || static_cast<std::size_t>(adapter) >= locals.size()) {
        throw IOError("no local adapter number " + std::to_string(adapter));
    }
    return locals[static_cast<std::size_t>(adapter)];
}

std::vector<std::string> BluezStack::adapters() {
    std::vector<std::string> names;
    names.reserve(locals.size());
    for (const auto& local : locals) {
        names.push_back(local.info.name);
    }
    return names;
}

int BluezStack::socket(bool authenticate, bool encrypt) {
    return sockets.add(
        std::make_shared<Socket>(std::make_unique<RfcommSocket>(authenticate, encrypt)));
}

std::int64_t BluezStack::getsockaddress(int handle) {
    return sockets.find(handle)->remoteAddress.value_or(adapterInfo().address);
}

int BluezStack::getsockchannel(int handle) {
    return sockets.find(handle)->rfcomm->channel();
}

void BluezStack::connect(int handle, std::int64_t address, int channel, int adapter) {
    const auto& from = local(adapter);
    sockets.find(handle)->rfcomm->connect(from.address, toBdaddr(address), channel, timing.connect);
}

void BluezStack::listen(int handle) {
    sockets.find(handle)->rfcomm->listen(locals.front().address);
}

int BluezStack::accept(int handle) {
    auto accepted = std::make_shared<Socket>(sockets.find(handle)->rfcomm->accept());
    accepted->remoteAddress = accepted->rfcomm->remoteAddress();
    return sockets.add(std::move(accepted));
}

int BluezStack::recv(int handle) {
    std::uint8_t byte = 0;
    return recv(handle, {&byte, 1}) < 0 ? -1 : byte;
}

int BluezStack::recv(int handle, std::span<std::uint8_t> buffer) {
    if (buffer.empty()) {
        return 0;
    }
    const std::size_t count = sockets.find(handle)->rfcomm->receive(buffer);
    return count == 0 ? -1 : static_cast<int>(count);
}

void BluezStack::send(int handle, int byte) {
    const auto low = static_cast<std::uint8_t>(byte);
    send(handle, {&low, 1});
}

void BluezStack::send(int handle, std::span<const std::uint8_t> bytes) {
    sockets.find(handle)->rfcomm->sendAll(bytes);
}

void BluezStack::close(int handle) {
    const auto socket = sockets.take(handle);
    // Wakes a thread blocked on it; the descriptor goes with the last user.
    socket->rfcomm->shutdown();
}

int BluezStack::registerService(std::span<const std::uint8_t> record) {
    return services.add(record);
}

void BluezStack::unregisterService(int handle) {
    services.remove(handle);
}

int BluezStack::doInquiry(int /*accessCode*/, const DeviceFound& found, std::stop_token cancel,
                          int adapter) {
    return discoverDevices(local(adapter).info, timing.inquiry, found, std::move(cancel));
}

std::optional<std::vector<int>> BluezStack::getServiceHandles(std::span<const UUID> uuids,
                                                              std::int64_t address, int adapter) {
    return local(adapter).sdp.serviceHandles(toBdaddr(address), uuids);
}

Bytes BluezStack::getServiceAttributes(std::span<const int> attrIDs, std::int64_t address,
                                       int handle, int adapter) {
    return local(adapter).sdp.serviceAttributes(toBdaddr(address),
                                                static_cast<std::uint32_t>(handle), attrIDs);
}

}  // namespace flarecast::bluetooth::bluez
