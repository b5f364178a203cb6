#include "bluetooth/native/bluez/ServiceRegistry.h"

#include <chrono>
#include <random>
#include <string>

#include "bluetooth/io/Errors.h"
#include "bluetooth/native/bluez/BluezBus.h"
#include "bluetooth/native/bluez/LegacySdpRecord.h"
#include "bluetooth/native/bluez/SdpRecordXml.h"

namespace flarecast::bluetooth::bluez {

namespace {

constexpr const char* kProfileManager = "org.bluez.ProfileManager1";
constexpr const char* kProfile = "org.bluez.Profile1";

// The profile manager keys profiles by UUID; ours only carry a record, so each gets its own.
std::string randomUuid() {
    std::random_device random;
    std::string text;
    for (int i = 0; i < 16; ++i) {
        auto byte = static_cast<unsigned>(random() & 0xFF);
        if (i == 6) {
            byte = (byte & 0x0F) | 0x40;
        } else if (i == 8) {
            byte = (byte & 0x3F) | 0x80;
        }
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text += '-';
        }
        text += "0123456789abcdef"[byte >> 4];
        text += "0123456789abcdef"[byte & 0xF];
    }
    return text;
}

}  // namespace

class ServiceRegistry::Registration {
public:
    virtual ~Registration() = default;
};

namespace {

// A profile that only publishes a record: bluetoothd opens no channel for a UUID it does not
// know, so connections still reach our own listening socket.
class ProfileRegistration final : public ServiceRegistry::Registration {
public:
    ProfileRegistration(sdbus::IConnection& bus, const std::string& path, const std::string& xml)
        : bus(bus), path(path) {
        object = sdbus::createObject(bus, path);
        object->registerMethod("Release").onInterface(kProfile).implementedAs([] {});
        object->registerMethod("RequestDisconnection")
            .onInterface(kProfile)
            .implementedAs([](const sdbus::ObjectPath&) {});
        // Never expected; the descriptor closes with the argument.
        object->registerMethod("NewConnection")
            .onInterface(kProfile)
            .implementedAs([](const sdbus::ObjectPath&, const sdbus::UnixFd&,
                              const std::map<std::string, sdbus::Variant>&) {});
        object->finishRegistration();
        std::map<std::string, sdbus::Variant> options;
        options.emplace("ServiceRecord", sdbus::Variant(xml));
        options.emplace("Role", sdbus::Variant(std::string("server")));
        options.emplace("AutoConnect", sdbus::Variant(false));
        sdbus::createProxy(bus, "org.bluez", "/org/bluez")
            ->callMethod("RegisterProfile")
            .onInterface(kProfileManager)
            .withTimeout(kCallLimit)
            .withArguments(sdbus::ObjectPath(path), randomUuid(), options);
    }

    ~ProfileRegistration() override {
        try {
            sdbus::createProxy(bus, "org.bluez", "/org/bluez")
                ->callMethod("UnregisterProfile")
                .onInterface(kProfileManager)
                .withTimeout(kCallLimit)
                .withArguments(sdbus::ObjectPath(path));
        } catch (const sdbus::Error&) {
            // bluetoothd went: so did the record.
        }
    }

private:
    sdbus::IConnection& bus;
    const std::string path;
    std::unique_ptr<sdbus::IObject> object;
};

// A record held by bluetoothd's SDP server.
class LegacyRegistration final : public ServiceRegistry::Registration {
public:
    LegacyRegistration(const bdaddr_t& adapter, std::span<const std::uint8_t> record)
        : record(adapter, record) {}

private:
    LegacySdpRecord record;
};

}  // namespace

ServiceRegistry::ServiceRegistry(const bdaddr_t& adapter) : adapter(adapter) {}

ServiceRegistry::~ServiceRegistry() {
    const std::lock_guard guard(lock);
    registrations.clear();
    if (connection) {
        connection->leaveEventLoop();
    }
}

sdbus::IConnection& ServiceRegistry::bus() {
    if (!connection) {
        connection = sdbus::createSystemBusConnection();
        // bluetoothd calls the profile objects back on this connection.
        connection->enterEventLoopAsync();
    }
    return *connection;
}

int ServiceRegistry::add(std::span<const std::uint8_t> record) {
    const std::string xml = sdpRecordToXml(record);
    const std::lock_guard guard(lock);
    const int handle = nextHandle++;
    std::string profileError;
    try {
        registrations.emplace(handle,
                              std::make_unique<ProfileRegistration>(
                                  bus(), "/org/flarecast/service" + std::to_string(handle), xml));
        return handle;
    } catch (const sdbus::Error& error) {
        profileError = error.getName() + ": " + error.getMessage();
    }
    try {
        registrations.emplace(handle, std::make_unique<LegacyRegistration>(adapter, record));
        return handle;
    } catch (const IOError& error) {
        throw IOError("bluetoothd did not publish the service record: its profile manager said " +
                      profileError + ", and its SDP server socket is not open (" +
                      error.getMessage() +
                      "); run bluetoothd 5.x with its D-Bus interface, or start it with --compat");
    }
}

void ServiceRegistry::remove(int handle) {
    std::unique_ptr<Registration> gone;
    {
        const std::lock_guard guard(lock);
        const auto found = registrations.find(handle);
        if (found == registrations.end()) {
            throw IOError("no such service");
        }
        gone = std::move(found->second);
        registrations.erase(found);
    }
}

}  // namespace flarecast::bluetooth::bluez
