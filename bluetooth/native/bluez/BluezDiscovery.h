#pragma once

#include <chrono>
#include <stop_token>

#include "bluetooth/native/NativeStack.h"
#include "bluetooth/native/bluez/BluezAdapter.h"

namespace flarecast::bluetooth::bluez {

// One inquiry through bluetoothd's discovery on the adapter: runs for duration (or until stop),
// reporting each device seen in that time once, on the calling thread, as soon as its name is
// known (at the end at the latest). Returns the discovery type for inquiryCompleted.
int discoverDevices(const AdapterInfo& adapter, std::chrono::milliseconds duration,
                    const NativeStack::DeviceFound& found, std::stop_token stop);

}  // namespace flarecast::bluetooth::bluez
