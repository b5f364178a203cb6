#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sdbus {
class IConnection;
}

namespace flarecast::bluetooth::bluez {

// An adapter as bluetoothd lists it.
struct AdapterInfo {
    std::string path;  // /org/bluez/hci0
    std::string name;  // hci0
    std::int64_t address = 0;
};

// The adapter that wanted names (hciN or its address, any case), or the first one by name when
// wanted is empty. Nothing when none matches.
std::optional<AdapterInfo> chooseAdapter(const std::vector<AdapterInfo>& adapters,
                                         std::string_view wanted);

// The adapters that bluetoothd offers on the system bus. An I/O error whose message says what is
// missing when bluetoothd cannot be asked.
std::vector<AdapterInfo> listAdapters(sdbus::IConnection& systemBus);

}  // namespace flarecast::bluetooth::bluez
