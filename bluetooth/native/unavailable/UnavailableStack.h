#pragma once

#include <string>

#include "bluetooth/native/NativeStack.h"

namespace flarecast::bluetooth {

// The stack of a machine with no usable Bluetooth: the adapter's address reads as zero, an
// inquiry ends at once with INQUIRY_ERROR, and every other operation fails with
// BluetoothStateException saying why.
class UnavailableStack final : public NativeStack {
public:
    explicit UnavailableStack(std::string reason = "Bluetooth is not available")
        : reason(std::move(reason)) {}

    int socket(bool authenticate, bool encrypt) override;
    std::int64_t getsockaddress(int handle) override;
    int getsockchannel(int handle) override;
    void connect(int handle, std::int64_t address, int channel, int adapter) override;
    void listen(int handle) override;
    int accept(int handle) override;
    int recv(int handle) override;
    int recv(int handle, std::span<std::uint8_t> buffer) override;
    void send(int handle, int byte) override;
    void send(int handle, std::span<const std::uint8_t> bytes) override;
    void close(int handle) override;
    int registerService(std::span<const std::uint8_t> record) override;
    void unregisterService(int handle) override;
    int doInquiry(int accessCode, const DeviceFound& found, std::stop_token cancel,
                  int adapter) override;
    std::optional<std::vector<int>> getServiceHandles(std::span<const UUID> uuids,
                                                      std::int64_t address, int adapter) override;
    Bytes getServiceAttributes(std::span<const int> attrIDs, std::int64_t address, int handle,
                               int adapter) override;

private:
    [[noreturn]] void unavailable() const;

    const std::string reason;
};

}  // namespace flarecast::bluetooth
