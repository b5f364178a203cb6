#pragma once

#include <map>
#include <vector>

#include "bluetooth/discovery/RemoteDevice.h"
#include "bluetooth/io/Errors.h"
#include "bluetooth/native/NativeStack.h"
#include "bluetooth/native/NativeStackFactory.h"

namespace flarecast::bluetooth::testing {

struct FoundDevice {
    std::string name;
    std::int64_t address;
    int deviceClass;
};

// A scripted native stack: answers from its fields and remembers what it was asked.
class FakeStack final : public NativeStack {
public:
    std::int64_t adapterAddress = 0x0012a1b2c3d4;
    std::vector<FoundDevice> devices;
    int inquiryResult = 0;
    bool inquiryFails = false;
    bool handlesFail = false;
    std::optional<std::vector<int>> handles;
    Bytes attributeList;
    bool attributesFail = false;
    std::vector<int> askedAttributes;
    std::vector<std::uint8_t> registered;
    // Socket calls, one line each: "socket true false", "connect 3 00123456789a 9", "close 3";
    // a connect through another adapter than the first ends "via 1".
    std::vector<std::string> calls;
    bool connectFails = false;

    int socket(bool authenticate, bool encrypt) override {
        calls.push_back(std::string("socket ") + (authenticate ? "true" : "false") +
                        (encrypt ? " true" : " false"));
        return 3;
    }
    std::int64_t getsockaddress(int) override { return adapterAddress; }
    int getsockchannel(int) override { return 1; }
    std::vector<std::string> adapters() override { return {"hci0", "hci1"}; }
    void connect(int handle, std::int64_t address, int channel, int adapter) override {
        calls.push_back("connect " + std::to_string(handle) + " " + formatAddress(address) + " " +
                        std::to_string(channel) +
                        (adapter == 0 ? "" : " via " + std::to_string(adapter)));
        if (connectFails) {
            throw IOError("connection refused");
        }
    }
    void listen(int) override {}
    int accept(int) override { return 4; }
    int recv(int) override { return -1; }
    int recv(int, std::span<std::uint8_t> buffer) override {
        calls.push_back("recv " + std::to_string(buffer.size()));
        return -1;
    }
    void send(int, int) override {}
    void send(int, std::span<const std::uint8_t>) override {}
    void close(int handle) override { calls.push_back("close " + std::to_string(handle)); }
    int registerService(std::span<const std::uint8_t> record) override {
        registered.assign(record.begin(), record.end());
        return 1;
    }
    void unregisterService(int) override {}
    int doInquiry(int, const DeviceFound& found, std::stop_token, int) override {
        if (inquiryFails) {
            throw BluetoothStateException("adapter gone");
        }
        for (const auto& device : devices) {
            found(device.name, device.address, device.deviceClass);
        }
        return inquiryResult;
    }
    std::optional<std::vector<int>> getServiceHandles(std::span<const UUID>, std::int64_t,
                                                      int) override {
        if (handlesFail) {
            throw BluetoothStateException("adapter gone");
        }
        return handles;
    }
    Bytes getServiceAttributes(std::span<const int> ids, std::int64_t, int, int) override {
        askedAttributes.assign(ids.begin(), ids.end());
        if (attributesFail) {
            throw IOError();
        }
        return attributeList;
    }
};

// The process's stack, installed before anything asks for one.
inline FakeStack& fakeStack() {
    static FakeStack* const installed = [] {
        auto stack = std::make_unique<FakeStack>();
        FakeStack* observer = stack.get();
        if (!installNativeStack(std::move(stack))) {
            std::abort();
        }
        return observer;
    }();
    return *installed;
}

}  // namespace flarecast::bluetooth::testing
