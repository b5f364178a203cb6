#include "bluetooth/discovery/LocalDevice.h"

#include "bluetooth/connections/BluetoothStreamConnectionNotifier.h"
#include "bluetooth/io/Errors.h"
#include "bluetooth/native/NativeStackFactory.h"

namespace flarecast::bluetooth {

namespace {

std::int64_t readAdapterAddress(BluetoothPeer& peer) {
    try {
        const int socket = peer.socket(false, false);
        std::int64_t address = 0;
        try {
            address = peer.getsockaddress(socket);
        } catch (const IOError&) {
            peer.close(socket);
            throw;
        }
        peer.close(socket);
        return address;
    } catch (const IOError&) {
        return 0;
    }
}

}  // namespace

LocalDevice& LocalDevice::getLocalDevice() {
    static LocalDevice instance;
    return instance;
}

ServiceRecord& LocalDevice::getRecord(Connection* notifier) {
    if (notifier == nullptr) {
        throw NullReferenceError();
    }
    auto* server = dynamic_cast<BluetoothStreamConnectionNotifier*>(notifier);
    if (server == nullptr) {
        throw IllegalArgumentError();
    }
    return server->getServiceRecord();
}

LocalDevice::LocalDevice()
    : peer(nativeStack()), address(formatAddress(readAdapterAddress(peer))) {}

}  // namespace flarecast::bluetooth
