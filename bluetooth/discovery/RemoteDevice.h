#pragma once

#include <cstdint>
#include <string>

namespace flarecast::bluetooth {

class Connection;

// A device seen over the air, through one of the local adapters. Two devices are the same device
// when their addresses match.
class RemoteDevice {
public:
    RemoteDevice(std::string name, std::int64_t address, int adapter = 0)
        : friendlyName(std::move(name)), address(address), adapter(adapter) {}
    // 12 hexadecimal digits; no name.
    explicit RemoteDevice(const std::string& addressText);

    // The device at the other end of an RFCOMM connection; any other connection is an illegal
    // argument.
    static RemoteDevice getRemoteDevice(const Connection& connection);

    // The name the inquiry delivered; nothing is asked over the air.
    std::string getFriendlyName(bool alwaysAsk) const;
    // 12 lower-case hexadecimal digits.
    std::string getBluetoothAddress() const;
    std::int64_t getAddress() const { return address; }
    // The local adapter that found it, and through which it is asked and reached.
    int getAdapter() const { return adapter; }
    std::int32_t hashCode() const { return static_cast<std::int32_t>(address); }
    // No security is negotiated: every answer is false.
    bool isTrustedDevice() const { return false; }
    bool isAuthenticated() const { return false; }
    bool isEncrypted() const { return false; }

    friend bool operator==(const RemoteDevice& a, const RemoteDevice& b) {
        return a.address == b.address;
    }

private:
    std::string friendlyName;
    std::int64_t address;
    int adapter;
};

// An address as 12 lower-case hexadecimal digits, zero-padded on the left.
std::string formatAddress(std::int64_t address);
// 1 to 12 hexadecimal digits; anything else is a number-format error.
std::int64_t parseAddress(const std::string& text);

}  // namespace flarecast::bluetooth
