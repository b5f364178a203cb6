#pragma once

#include <cstdint>
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

// The adapters that wanted names, in its order: one name (hciN or its address, any case), several
// separated by commas, or "all" for every one by number; the first one by number when wanted is
// empty. wanted comes from FLARECAST_ADAPTER. An I/O error that names what bluetoothd has when
// there is no adapter, a name matches none, or two names are the same adapter.
std::vector<AdapterInfo> chooseAdapters(const std::vector<AdapterInfo>& adapters,
                                        std::string_view wanted);

// The adapters that bluetoothd offers on the system bus. An I/O error whose message says what is
// missing when bluetoothd cannot be asked.
std::vector<AdapterInfo> listAdapters(sdbus::IConnection& systemBus);

}  // namespace flarecast::bluetooth::bluez
