#pragma once

#include <bluetooth/bluetooth.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>

namespace sdbus {
class IConnection;
}

namespace flarecast::bluetooth::bluez {

// Publishes local service records through bluetoothd: as a profile of its profile manager, which
// carries our own record while our socket keeps its channel, or else through its SDP server's
// socket (bluetoothd --compat). A record stays published until it is withdrawn or the registry
// goes.
class ServiceRegistry {
public:
    explicit ServiceRegistry(const bdaddr_t& adapter);
    ~ServiceRegistry();
    ServiceRegistry(const ServiceRegistry&) = delete;
    ServiceRegistry& operator=(const ServiceRegistry&) = delete;

    int add(std::span<const std::uint8_t> record);
    void remove(int handle);

    class Registration;

private:
    sdbus::IConnection& bus();

    const bdaddr_t adapter;
    std::mutex lock;
    // Profiles live as long as the connection that registered them.
    std::unique_ptr<sdbus::IConnection> connection;
    std::map<int, std::unique_ptr<Registration>> registrations;
    int nextHandle = 1;
};

}  // namespace flarecast::bluetooth::bluez
