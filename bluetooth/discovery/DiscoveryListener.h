#pragma once

#include <memory>
#include <vector>

#include "bluetooth/discovery/DeviceClass.h"
#include "bluetooth/discovery/RemoteDevice.h"
#include "bluetooth/records/ServiceRecord.h"

namespace flarecast::bluetooth {

// Receives the results of inquiries and service searches, on the threads that run them.
class DiscoveryListener {
public:
    static constexpr int INQUIRY_COMPLETED = 0;
    static constexpr int INQUIRY_TERMINATED = 5;
    static constexpr int INQUIRY_ERROR = 7;
    static constexpr int SERVICE_SEARCH_COMPLETED = 1;
    static constexpr int SERVICE_SEARCH_TERMINATED = 2;
    static constexpr int SERVICE_SEARCH_ERROR = 3;
    static constexpr int SERVICE_SEARCH_NO_RECORDS = 4;
    static constexpr int SERVICE_SEARCH_DEVICE_NOT_REACHABLE = 6;

    virtual ~DiscoveryListener() = default;
    virtual void servicesDiscovered(int transID,
                                    const std::vector<std::shared_ptr<ServiceRecord>>& records) = 0;
    virtual void serviceSearchCompleted(int transID, int respCode) = 0;
    virtual void inquiryCompleted(int discType) = 0;
    virtual void deviceDiscovered(const RemoteDevice& device, const DeviceClass& deviceClass) = 0;
};

}  // namespace flarecast::bluetooth
