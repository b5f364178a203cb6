#include "bluetooth/native/bluez/BluezDiscovery.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "bluetooth/discovery/DiscoveryListener.h"
#include "bluetooth/io/Errors.h"
#include "bluetooth/native/bluez/BluezAddress.h"
#include "bluetooth/native/bluez/BluezBus.h"

namespace flarecast::bluetooth::bluez {

namespace {

constexpr const char* kDevice = "org.bluez.Device1";
constexpr const char* kAdapter = "org.bluez.Adapter1";

struct Sighting {
    std::optional<std::int64_t> address;
    std::optional<std::string> name;
    std::optional<int> deviceClass;
    bool seen = false;

    bool complete() const { return address && name && deviceClass; }

    void merge(const Properties& properties) {
        const auto text = [&properties](const char* key) -> std::optional<std::string> {
            const auto it = properties.find(key);
            if (it == properties.end() || !it->second.containsValueOfType<std::string>()) {
                return std::nullopt;
            }
            return it->second.get<std::string>();
        };
        if (const auto found = text("Address")) {
            address = parseColonAddress(*found);
        }
        if (const auto found = text("Name")) {
            name = *found;
        }
        if (const auto it = properties.find("Class");
            it != properties.end() && it->second.containsValueOfType<std::uint32_t>()) {
            deviceClass = static_cast<int>(it->second.get<std::uint32_t>());
        }
    }
};

// What the bus thread learns, for the inquiry thread to report.
class Sightings {
public:
    explicit Sightings(std::string devicePrefix) : prefix(std::move(devicePrefix)) {}

    void update(const std::string& path, const Properties& properties, bool seenNow) {
        if (path.rfind(prefix, 0) != 0) {
            return;
        }
        {
            const std::lock_guard lock(mutex);
            Sighting& sighting = devices[path];
            sighting.merge(properties);
            sighting.seen = sighting.seen || seenNow || properties.contains("RSSI");
            ++version;
        }
        changed.notify_all();
    }

    void bluetoothdGone() {
        {
            const std::lock_guard lock(mutex);
            lost = true;
            ++version;
        }
        changed.notify_all();
    }

    std::mutex mutex;
    std::condition_variable_any changed;
    std::map<std::string, Sighting> devices;
    std::uint64_t version = 0;
    bool lost = false;

private:
    const std::string prefix;
};

// bluetoothd names a device's object after its address: .../dev_00_AA_01_01_00_01.
std::optional<std::int64_t> addressInPath(const std::string& path) {
    const auto at = path.rfind("/dev_");
    if (at == std::string::npos) {
        return std::nullopt;
    }
    std::string text = path.substr(at + 5);
    for (char& c : text) {
        c = c == '_' ? ':' : c;
    }
    return parseColonAddress(text);
}

[[noreturn]] void fail(const AdapterInfo& adapter, const sdbus::Error& error) {
    std::string reason = error.getMessage();
    if (error.getName() == "org.bluez.Error.NotReady") {
        reason = "it is not powered on";
    }
    throw IOError("Bluetooth adapter " + adapter.name + " cannot search for devices: " + reason);
}

// A signal that cannot be read is dropped; it must not unwind into the bus library.
template <typename Read>
sdbus::message_handler guarded(Read read) {
    return [read](sdbus::Message& message) {
        try {
            read(message);
        } catch (...) {
        }
    };
}

}  // namespace

int discoverDevices(const AdapterInfo& adapter, std::chrono::milliseconds duration,
                    const NativeStack::DeviceFound& found, std::stop_token stop) {
    Sightings sightings(adapter.path + "/dev_");
    std::unique_ptr<sdbus::IConnection> calls;
    std::unique_ptr<sdbus::IConnection> signals;
    std::vector<sdbus::Slot> matches;
    try {
        calls = sdbus::createSystemBusConnection();
        signals = sdbus::createSystemBusConnection();
        matches.push_back(signals->addMatch(
            "type='signal',sender='org.bluez',interface='org.freedesktop.DBus.ObjectManager',"
            "member='InterfacesAdded'",
            guarded([&sightings](sdbus::Message& message) {
                sdbus::ObjectPath path;
                Interfaces interfaces;
                message >> path >> interfaces;
                if (const auto device = interfaces.find(kDevice); device != interfaces.end()) {
                    sightings.update(path, device->second, true);
                }
            })));
        matches.push_back(signals->addMatch(
            "type='signal',sender='org.bluez',interface='org.freedesktop.DBus.Properties',"
            "member='PropertiesChanged',arg0='org.bluez.Device1'",
            guarded([&sightings](sdbus::Message& message) {
                std::string interface;
                Properties changed;
                message >> interface >> changed;
                sightings.update(message.getPath(), changed, false);
            })));
        matches.push_back(signals->addMatch(
            "type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',"
            "member='NameOwnerChanged',arg0='org.bluez'",
            guarded([&sightings](sdbus::Message& message) {
                std::string name;
                std::string oldOwner;
                std::string newOwner;
                message >> name >> oldOwner >> newOwner;
                if (newOwner.empty()) {
                    sightings.bluetoothdGone();
                }
            })));
        signals->enterEventLoopAsync();
    } catch (const sdbus::Error& error) {
        throw IOError("cannot listen to bluetoothd: " + error.getMessage());
    }
    // The bus thread ends before the sightings it writes go.
    struct LoopStopper {
        sdbus::IConnection& connection;
        ~LoopStopper() { connection.leaveEventLoop(); }
    } stopLoop{*signals};

    const auto adapterProxy = sdbus::createProxy(*calls, "org.bluez", adapter.path);
    try {
        // Phones are BR/EDR devices; leaving LE out keeps the adapter on inquiry.
        adapterProxy->callMethod("SetDiscoveryFilter")
            .onInterface(kAdapter)
            .withTimeout(kCallLimit)
            .withArguments(Properties{{"Transport", sdbus::Variant(std::string("bredr"))}});
    } catch (const sdbus::Error&) {
        // Older bluetoothd: discovery without a filter still finds them.
    }
    try {
        adapterProxy->callMethod("StartDiscovery").onInterface(kAdapter).withTimeout(kCallLimit);
    } catch (const sdbus::Error& error) {
        fail(adapter, error);
    }
    // A device that another program's discovery is finding already sends no signal while its
    // signal strength holds; bluetoothd gives an RSSI only to devices seen in this discovery.
    try {
        ManagedObjects objects;
        sdbus::createProxy(*calls, "org.bluez", "/")
            ->callMethod("GetManagedObjects")
            .onInterface("org.freedesktop.DBus.ObjectManager")
            .withTimeout(kCallLimit)
            .storeResultsTo(objects);
        for (const auto& [path, interfaces] : objects) {
            if (const auto device = interfaces.find(kDevice); device != interfaces.end()) {
                if (device->second.contains("RSSI")) {
                    sightings.update(path, device->second, true);
                }
            }
        }
    } catch (const sdbus::Error&) {
        // The signals still bring every device found from now on.
    }

    const auto fetch = [&calls](const std::string& path) {
        Properties properties;
        try {
            sdbus::createProxy(*calls, "org.bluez", path)
                ->callMethod("GetAll")
                .onInterface("org.freedesktop.DBus.Properties")
                .withTimeout(kCallLimit)
                .withArguments(std::string(kDevice))
                .storeResultsTo(properties);
        } catch (const sdbus::Error&) {
            // Gone again: reported with what is known.
        }
        return properties;
    };

    const auto deadline = std::chrono::steady_clock::now() + duration;
    std::set<std::string> asked;
    std::set<std::string> reported;
    std::uint64_t handled = 0;
    bool lost = false;
    for (bool last = false; !last;) {
        std::vector<std::pair<std::string, Sighting>> due;
        {
            std::unique_lock lock(sightings.mutex);
            sightings.changed.wait_until(lock, stop, deadline,
                                         [&] { return sightings.version != handled; });
            handled = sightings.version;
            lost = sightings.lost;
            last = lost || stop.stop_requested() || std::chrono::steady_clock::now() >= deadline;
            for (const auto& [path, sighting] : sightings.devices) {
                if (sighting.seen && !reported.contains(path)) {
                    due.emplace_back(path, sighting);
                }
            }
        }
        if (stop.stop_requested() || lost) {
            break;
        }
        // A device seen again (an RSSI alone) has its name and class with bluetoothd already; a
        // name still being asked for arrives later, at the end at the latest.
        for (auto& [path, sighting] : due) {
            if (!sighting.complete() && (!asked.contains(path) || last)) {
                sighting.merge(fetch(path));
                asked.insert(path);
            }
            if (!sighting.address) {
                sighting.address = addressInPath(path);
            }
            if (sighting.address && (sighting.name || last)) {
                found(sighting.name.value_or(""), *sighting.address,
                      sighting.deviceClass.value_or(0));
                reported.insert(path);
            }
        }
    }
    if (lost) {
        throw IOError("bluetoothd stopped during the inquiry");
    }
    try {
        adapterProxy->callMethod("StopDiscovery").onInterface(kAdapter).withTimeout(kCallLimit);
    } catch (const sdbus::Error&) {
        // The adapter went, or discovery had ended: nothing is left running either way.
    }
    return stop.stop_requested() ? DiscoveryListener::INQUIRY_TERMINATED
                                 : DiscoveryListener::INQUIRY_COMPLETED;
}

}  // namespace flarecast::bluetooth::bluez
