#include "bluetooth/native/BluetoothPeer.h"

namespace flarecast::bluetooth {

int BluetoothPeer::doInquiry(int accessCode, DiscoveryListener& listener) {
    return stack.doInquiry(
        accessCode, [&listener](const std::string& name, std::int64_t address, int deviceClass) {
            listener.deviceDiscovered(RemoteDevice(name, address), DeviceClass(deviceClass));
        });
}

}  // namespace flarecast::bluetooth
