#include "bluetooth/native/BluetoothPeer.h"

#include <algorithm>

namespace flarecast::bluetooth {

BluetoothPeer::~BluetoothPeer() {
    // The threads end on their own; destroying them joins them. They are moved out first so
    // that a thread's last report cannot start another under the lock.
    std::vector<std::unique_ptr<InquiryThread>> endingInquiries;
    std::vector<std::unique_ptr<SearchServicesThread>> endingSearches;
    {
        const std::lock_guard lock(threadsLock);
        endingInquiries.swap(inquiries);
        endingSearches.swap(searches);
    }
}

void BluetoothPeer::reapFinished() {
    std::erase_if(inquiries, [](const auto& thread) { return thread->finished(); });
    std::erase_if(searches, [](const auto& thread) { return thread->finished(); });
}

void BluetoothPeer::startInquiry(int accessCode, DiscoveryListener& listener, int adapter) {
    const std::lock_guard lock(threadsLock);
    reapFinished();
    inquiries.push_back(std::make_unique<InquiryThread>(listener, accessCode, *this, adapter));
    inquiries.back()->start();
}

void BluetoothPeer::startSearchServices(std::optional<std::vector<int>> attrSet,
                                        std::vector<UUID> uuidSet, const RemoteDevice& device,
                                        DiscoveryListener& listener) {
    const std::lock_guard lock(threadsLock);
    reapFinished();
    searches.push_back(std::make_unique<SearchServicesThread>(listener, std::move(attrSet),
                                                              std::move(uuidSet), device, *this));
    searches.back()->start();
}

int BluetoothPeer::doInquiry(int accessCode, DiscoveryListener& listener, std::stop_token cancel,
                             int adapter) {
    return stack.doInquiry(
        accessCode,
        [&listener, adapter](const std::string& name, std::int64_t address, int deviceClass) {
            listener.deviceDiscovered(RemoteDevice(name, address, adapter),
                                      DeviceClass(deviceClass));
        },
        std::move(cancel), adapter);
}

bool BluetoothPeer::cancelInquiry(const DiscoveryListener& listener) {
    const std::lock_guard lock(threadsLock);
    bool cancelled = false;
    for (const auto& inquiry : inquiries) {
        if (inquiry->reportsTo(listener) && !inquiry->finished() && inquiry->cancel()) {
            cancelled = true;
        }
    }
    return cancelled;
}

}  // namespace flarecast::bluetooth
