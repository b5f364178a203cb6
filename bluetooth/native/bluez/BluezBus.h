#pragma once

#include <sdbus-c++/sdbus-c++.h>

#include <chrono>
#include <map>
#include <string>

namespace flarecast::bluetooth::bluez {

// The shapes of bluetoothd's D-Bus answers.
using Properties = std::map<std::string, sdbus::Variant>;
using Interfaces = std::map<std::string, Properties>;
using ManagedObjects = std::map<sdbus::ObjectPath, Interfaces>;

// Every call to bluetoothd is answered at once or not at all; none may hold a thread longer.
constexpr auto kCallLimit = std::chrono::seconds(5);

}  // namespace flarecast::bluetooth::bluez
