#include "bluetooth/connections/Connector.h"

#include <algorithm>
#include <charconv>

#include "bluetooth/connections/BluetoothConnection.h"
#include "bluetooth/connections/BluetoothStreamConnectionNotifier.h"
#include "bluetooth/connections/BtsppUrl.h"
#include "bluetooth/discovery/LocalDevice.h"
#include "bluetooth/io/Errors.h"

namespace flarecast::bluetooth {

namespace {

template <typename Number>
Number parseNumber(const std::string& text, int base) {
    Number value{};
    const char* const end = text.data() + text.size();
    const char* begin = text.data();
    // The sign is allowed as Java's parsers allow it; from_chars takes only '-'.
    if (begin != end && *begin == '+' && end - begin > 1 && begin[1] != '-') {
        ++begin;
    }
    const auto [stop, error] = std::from_chars(begin, end, value, base);
    if (begin == end || error != std::errc() || stop != end) {
        throw NumberFormatError("For input string: \"" + text + "\"");
    }
    return value;
}

// The number of the local adapter that a URL names; the first when it names none.
int adapterNumber(const std::optional<std::string>& name) {
    if (!name) {
        return 0;
    }
    const auto adapters = LocalDevice::getLocalDevice().getBluetoothPeer().adapters();
    const auto found = std::find(adapters.begin(), adapters.end(), *name);
    if (found == adapters.end()) {
        throw ConnectionNotFoundException("no local Bluetooth adapter is named " + *name);
    }
    return static_cast<int>(found - adapters.begin());
}

}  // namespace

std::unique_ptr<Connection> Connector::open(const std::string& name, int /*mode*/) {
    const BtsppUrl url = BtsppUrl::parse(name);
    const bool authenticate = url.isTrue("authenticate");
    const bool encrypt = url.isTrue("encrypt");
    if (url.isServer()) {
        return std::make_unique<BluetoothStreamConnectionNotifier>(
            UUID(url.target, false), authenticate, encrypt, url.parameter("name"));
    }
    const auto address = parseNumber<std::int64_t>(url.host, 16);
    const auto channel = parseNumber<std::int32_t>(url.target, 10);
    return std::make_unique<BluetoothConnection>(address, channel, authenticate, encrypt,
                                                 adapterNumber(url.parameter("adapter")));
}

std::unique_ptr<StreamConnection> Connector::openStream(const std::string& name) {
    std::unique_ptr<Connection> connection = open(name);
    auto* stream = dynamic_cast<StreamConnection*>(connection.get());
    if (stream == nullptr) {
        connection->close();
        throw IllegalArgumentError("not a stream connection: " + name);
    }
    connection.release();
    return std::unique_ptr<StreamConnection>(stream);
}

}  // namespace flarecast::bluetooth
