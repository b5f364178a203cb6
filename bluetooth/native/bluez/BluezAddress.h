#pragma once

#include <bluetooth/bluetooth.h>

#include <cstdint>
#include <optional>
#include <string_view>

namespace flarecast::bluetooth::bluez {

// The kernel keeps an address least significant byte first.
bdaddr_t toBdaddr(std::int64_t address);
std::int64_t fromBdaddr(const bdaddr_t& address);

// "AA:BB:CC:DD:EE:FF" as bluetoothd writes it; nothing for any other text.
std::optional<std::int64_t> parseColonAddress(std::string_view text);

}  // namespace flarecast::bluetooth::bluez
