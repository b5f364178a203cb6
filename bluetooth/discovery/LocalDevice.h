#pragma once

#include <optional>
#include <string>

#include "bluetooth/discovery/DiscoveryAgent.h"
#include "bluetooth/native/BluetoothPeer.h"

namespace flarecast::bluetooth {

class Connection;
class DeviceClass;
class ServiceRecord;

// The local adapter; one per process, created on first use.
class LocalDevice {
public:
    static LocalDevice& getLocalDevice();

    // 12 lower-case hexadecimal digits; all zeros when the adapter's address cannot be read.
    const std::string& getBluetoothAddress() const { return address; }
    BluetoothPeer& getBluetoothPeer() { return peer; }
    DiscoveryAgent& getDiscoveryAgent() { return agent; }

    // The service record of an RFCOMM server notifier; any other connection is an illegal
    // argument, none a null reference.
    ServiceRecord& getRecord(Connection* notifier);
    void updateRecord(ServiceRecord& /*record*/) {}

    bool setDiscoverable(int /*mode*/) { return false; }
    int getDiscoverable() const { return 0; }
    std::optional<std::string> getFriendlyName() const { return std::nullopt; }
    std::optional<std::string> getProperty(const std::string& /*name*/) const {
        return std::nullopt;
    }

    LocalDevice(const LocalDevice&) = delete;
    LocalDevice& operator=(const LocalDevice&) = delete;

private:
    LocalDevice();

    BluetoothPeer peer;
    DiscoveryAgent agent;
    std::string address;
};

}  // namespace flarecast::bluetooth
