#include "bluetooth/discovery/DiscoveryAgent.h"

#include "bluetooth/discovery/LocalDevice.h"
#include "bluetooth/io/Errors.h"

namespace flarecast::bluetooth {

bool DiscoveryAgent::startInquiry(int accessCode, DiscoveryListener& listener, int adapter) {
    LocalDevice::getLocalDevice().getBluetoothPeer().startInquiry(accessCode, listener, adapter);
    return true;
}

int DiscoveryAgent::searchServices(std::optional<std::vector<int>> attrSet,
                                   std::vector<UUID> uuidSet, const RemoteDevice& device,
                                   DiscoveryListener& listener) {
    LocalDevice::getLocalDevice().getBluetoothPeer().startSearchServices(
        std::move(attrSet), std::move(uuidSet), device, listener);
    return 0;
}

bool DiscoveryAgent::cancelInquiry(DiscoveryListener* listener) {
    if (listener == nullptr) {
        throw NullReferenceError();
    }
    return LocalDevice::getLocalDevice().getBluetoothPeer().cancelInquiry(*listener);
}

std::chrono::milliseconds DiscoveryAgent::inquiryLength() const {
    return LocalDevice::getLocalDevice().getBluetoothPeer().inquiryLength();
}

}  // namespace flarecast::bluetooth
