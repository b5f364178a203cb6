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

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// hci2 before hci10.
bool byNumber(const AdapterInfo& a, const AdapterInfo& b) {
    return a.name.size() != b.name.size() ? a.name.size() < b.name.size() : a.name < b.name;
}

}  // namespace

std::vector<AdapterInfo> chooseAdapters(const std::vector<AdapterInfo>& adapters,
                                        std::string_view wanted) {
    if (adapters.empty()) {
        throw IOError("bluetoothd reports no Bluetooth adapter");
    }
    std::vector<AdapterInfo> sorted = adapters;
    std::sort(sorted.begin(), sorted.end(), byNumber);
    if (trimmed(wanted).empty()) {
        return {sorted.front()};
    }
    if (sameText(trimmed(wanted), "all")) {
        return sorted;
    }
    std::vector<AdapterInfo> chosen;
    for (std::string_view rest = wanted;;) {
        const auto comma = rest.find(',');
        const std::string_view name = trimmed(rest.substr(0, comma));
        const auto named = std::find_if(sorted.begin(), sorted.end(), [name](const auto& adapter) {
            return sameText(adapter.name, name) || parseColonAddress(name) == adapter.address;
        });
        if (named == sorted.end()) {
            std::string names;
            for (const auto& adapter : adapters) {
                names += (names.empty() ? "" : ", ") + adapter.name;
            }
            throw IOError("no Bluetooth adapter is named " +
                          (name.empty() ? std::string("\"\"") : std::string(name)) +
                          " (FLARECAST_ADAPTER); bluetoothd has " + names);
        }
        if (std::any_of(chosen.begin(), chosen.end(),
                        [&named](const auto& adapter) { return adapter.path == named->path; })) {
            throw IOError("Bluetooth adapter " + named->name +
                          " is named twice (FLARECAST_ADAPTER)");
        }
        chosen.push_back(*named);
        if (comma == std::string_view::npos) {
            return chosen;
        }
        rest = rest.substr(comma + 1);
    }
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
