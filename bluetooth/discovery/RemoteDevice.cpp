#include "bluetooth/discovery/RemoteDevice.h"

#include "bluetooth/connections/BluetoothConnection.h"
#include "bluetooth/io/Errors.h"
#include "bluetooth/sdp/HexText.h"

namespace flarecast::bluetooth {

std::string formatAddress(std::int64_t address) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text(12, '0');
    auto value = static_cast<std::uint64_t>(address) & 0xFFFFFFFFFFFFULL;
    for (int i = 11; i >= 0; --i) {
        text[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
        value >>= 4;
    }
    return text;
}

std::int64_t parseAddress(const std::string& text) {
    if (text.empty() || text.size() > 12) {
        throw NumberFormatError("For input string: \"" + text + "\"");
    }
    std::int64_t value = 0;
    for (const char c : text) {
        const int digit = hexDigitValue(c);
        if (digit < 0) {
            throw NumberFormatError("For input string: \"" + text + "\"");
        }
        value = value * 16 + digit;
    }
    return value;
}

RemoteDevice::RemoteDevice(const std::string& addressText)
    : address(parseAddress(addressText)), adapter(0) {}

RemoteDevice RemoteDevice::getRemoteDevice(const Connection& connection) {
    const auto* rfcomm = dynamic_cast<const BluetoothConnection*>(&connection);
    if (rfcomm == nullptr) {
        throw IllegalArgumentError("Not a Bluetooth connection");
    }
    return RemoteDevice("", rfcomm->getAddress());
}

std::string RemoteDevice::getFriendlyName(bool /*alwaysAsk*/) const {
    return friendlyName;
}

std::string RemoteDevice::getBluetoothAddress() const {
    return formatAddress(address);
}

}  // namespace flarecast::bluetooth
