#include "bluetooth/native/bluez/BluezAdapter.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <map>

#include "bluetooth/io/Errors.h"
#include "bluetooth/native/bluez/BluezAddress.h"
#include "bluetooth/native/bluez/BluezBus.h"

namespace flarecast::bluetooth::bluez {

namespace {

bool sameText(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// hci2 before hci10.
bool byNumber(const AdapterInfo& a, const AdapterInfo& b) {
    return a.name.size() != b.name.size() ? a.name.size() < b.name.size() : a.name < b.name;
}

}  // namespace

std::optional<AdapterInfo> chooseAdapter(const std::vector<AdapterInfo>& adapters,
                                         std::string_view wanted) {
    std::vector<AdapterInfo> sorted = adapters;
    std::sort(sorted.begin(), sorted.end(), byNumber);
    for (const auto& adapter : sorted) {
        if (wanted.empty() || sameText(adapter.name, wanted) ||
            parseColonAddress(wanted) == adapter.address) {
            return adapter;
        }
    }
    return std::nullopt;
}

std::vector<AdapterInfo> listAdapters(sdbus::IConnection& systemBus) {
    ManagedObjects objects;
    try {
        const auto root = sdbus::createProxy(systemBus, "org.bluez", "/");
        root->callMethod("GetManagedObjects")
            .onInterface("org.freedesktop.DBus.ObjectManager")
            .withTimeout(kCallLimit)
            .storeResultsTo(objects);
    } catch (const sdbus::Error& error) {
        if (error.getName() == "org.freedesktop.DBus.Error.ServiceUnknown" ||
            error.getName() == "org.freedesktop.DBus.Error.NameHasNoOwner") {
            throw IOError("bluetoothd is not running");
        }
        throw IOError("bluetoothd does not answer (" + error.getName() + ": " + error.getMessage() +
                      ")");
    }
    std::vector<AdapterInfo> adapters;
    for (const auto& [path, interfaces] : objects) {
        const auto adapter = interfaces.find("org.bluez.Adapter1");
        if (adapter == interfaces.end()) {
            continue;
        }
        AdapterInfo info;
        info.path = path;
        info.name = info.path.substr(info.path.rfind('/') + 1);
        if (const auto address = adapter->second.find("Address");
            address != adapter->second.end()) {
            info.address = parseColonAddress(address->second.get<std::string>()).value_or(0);
        }
        adapters.push_back(std::move(info));
    }
    return adapters;
}

}  // namespace flarecast::bluetooth::bluez
