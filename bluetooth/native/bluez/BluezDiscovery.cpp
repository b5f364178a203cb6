#include "bluetooth/native/bluez/BluezDiscovery.h"

#include <sdbus-c++/sdbus-c++.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "bluetooth/discovery/DiscoveryListener.h"
#include "bluetooth/io/Errors.h"
#include "bluetooth/native/bluez/BluezAddress.h"

namespace flarecast::bluetooth::bluez {

namespace {

using Properties = std::map<std::string, sdbus::Variant>;
using Interfaces = std::map<std::string, Properties>;

constexpr auto kCallLimit = std::chrono::seconds(5);
constexpr const char* kDevice = "org.bluez.Device1";
constexpr const char* kAdapter = "org.bluez.Adapter1";

struct Sighting {
    std::optional<std::int64_t> address;
    std::optional<std::string> name;
    std::optional<std::string> alias;
    std::optional<int> deviceClass;
    bool seen = false;
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
            merge(sighting, properties);
            sighting.seen = sighting.seen || seenNow || properties.contains("RSSI");
        }
        changed.notify_all();
    }

    static void merge(Sighting& sighting, const Properties& properties) {
        try {
            if (const auto it = properties.find("Address"); it != properties.end()) {
                sighting.address = parseColonAddress(it->second.get<std::string>());
            }
            if (const auto it = properties.find("Name"); it != properties.end()) {
                sighting.name = it->second.get<std::string>();
            }
            if (const auto it = properties.find("Alias"); it != properties.end()) {
                sighting.alias = it->second.get<std::string>();
            }
            if (const auto it = properties.find("Class"); it != properties.end()) {
                sighting.deviceClass = static_cast<int>(it->second.get<std::uint32_t>());
            }
        } catch (const sdbus::Error&) {
            // A property of an unexpected type is left unknown.
        }
    }

    std::mutex mutex;
    std::condition_variable_any changed;
    std::map<std::string, Sighting> devices;

private:
    const std::string prefix;
};

[[noreturn]] void fail(const AdapterInfo& adapter, const sdbus::Error& error) {
    std::string reason = error.getMessage();
    if (error.getName() == "org.bluez.Error.NotReady") {
        reason = "it is not powered on";
    }
    throw IOError("Bluetooth adapter " + adapter.name + " cannot search for devices: " + reason);
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
            [&sightings](sdbus::Message& message) {
                sdbus::ObjectPath path;
                Interfaces interfaces;
                message >> path >> interfaces;
                if (const auto device = interfaces.find(kDevice); device != interfaces.end()) {
                    sightings.update(path, device->second, true);
                }
            }));
        matches.push_back(signals->addMatch(
            "type='signal',sender='org.bluez',interface='org.freedesktop.DBus.Properties',"
            "member='PropertiesChanged',arg0='org.bluez.Device1'",
            [&sightings](sdbus::Message& message) {
                std::string interface;
                Properties changed;
                message >> interface >> changed;
                sightings.update(message.getPath(), changed, false);
            }));
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
    const auto report = [&found](const Sighting& sighting) {
        if (sighting.address) {
            found(sighting.name.value_or(sighting.alias.value_or("")), *sighting.address,
                  sighting.deviceClass.value_or(0));
        }
    };

    const auto deadline = std::chrono::steady_clock::now() + duration;
    std::set<std::string> asked;
    std::set<std::string> reported;
    for (bool last = false; !last;) {
        std::vector<std::pair<std::string, Sighting>> due;
        {
            std::unique_lock lock(sightings.mutex);
            sightings.changed.wait_until(lock, stop, deadline, [] { return false; });
            last = stop.stop_requested() || std::chrono::steady_clock::now() >= deadline;
            for (const auto& [path, sighting] : sightings.devices) {
                if (sighting.seen && !reported.contains(path)) {
                    due.emplace_back(path, sighting);
                }
            }
        }
        if (stop.stop_requested()) {
            break;
        }
        // A device seen again (RSSI only) has its name and class with bluetoothd already.
        for (auto& [path, sighting] : due) {
            if (!sighting.name && (!asked.contains(path) || last)) {
                Sightings::merge(sighting, fetch(path));
                asked.insert(path);
            }
            if (sighting.name || last) {
                report(sighting);
                reported.insert(path);
            }
        }
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
