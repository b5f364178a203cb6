#pragma once

#include <string>

#include "bluetooth/native/BluetoothPeer.h"

namespace flarecast::bluetooth {

// The local adapter; one per process, created on first use.
class LocalDevice {
public:
    static LocalDevice& getLocalDevice();

    // 12 lower-case hexadecimal digits; all zeros when the adapter's address cannot be read.
    const std::string& getBluetoothAddress() const { return address; }
    BluetoothPeer& getBluetoothPeer() { return peer; }

    LocalDevice(const LocalDevice&) = delete;
    LocalDevice& operator=(const LocalDevice&) = delete;

private:
    LocalDevice();

    BluetoothPeer peer;
    std::string address;
};

}  // namespace flarecast::bluetooth
