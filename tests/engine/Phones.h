#pragma once

// The neighbourhood of phones of the engine's tests, which a test may replace for a while.

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include "EngineTesting.h"
#include "bluetooth/discovery/DiscoveryListener.h"
#include "bluetooth/native/NativeStackFactory.h"
#include "bluetooth/native/neighbourhood/NeighbourhoodFile.h"
#include "bluetooth/native/neighbourhood/NeighbourhoodStack.h"
#include "obex/phone/VirtualPhoneLauncher.h"
#include "tests/common/FreePort.h"
#include "tests/common/TempFolder.h"

namespace flarecast::engine {

// The process chooses its native stack once; this one hands every call to a neighbourhood that a
// test can replace between passes.
class SwappableStack final : public bluetooth::NativeStack {
public:
    explicit SwappableStack(std::shared_ptr<NativeStack> first) : current(std::move(first)) {}

    // Returns the stack it replaces. Calls in progress finish on the stack they started on.
    std::shared_ptr<NativeStack> swap(std::shared_ptr<NativeStack> next) {
        const std::lock_guard guard(lock);
        std::swap(current, next);
        return next;
    }

    int socket(bool authenticate, bool encrypt) override {
        return now()->socket(authenticate, encrypt);
    }
    std::int64_t getsockaddress(int handle) override { return now()->getsockaddress(handle); }
    int getsockchannel(int handle) override { return now()->getsockchannel(handle); }
    std::vector<std::string> adapters() override { return now()->adapters(); }
    void connect(int handle, std::int64_t address, int channel, int adapter) override {
        now()->connect(handle, address, channel, adapter);
    }
    void listen(int handle) override { now()->listen(handle); }
    int accept(int handle) override { return now()->accept(handle); }
    int recv(int handle) override { return now()->recv(handle); }
    int recv(int handle, std::span<std::uint8_t> buffer) override {
        return now()->recv(handle, buffer);
    }
    void send(int handle, int byte) override { now()->send(handle, byte); }
    void send(int handle, std::span<const std::uint8_t> bytes) override {
        now()->send(handle, bytes);
    }
    void close(int handle) override { now()->close(handle); }
    int registerService(std::span<const std::uint8_t> record) override {
        return now()->registerService(record);
    }
    void unregisterService(int handle) override { now()->unregisterService(handle); }
    int doInquiry(int accessCode, const DeviceFound& found, std::stop_token cancel,
                  int adapter) override {
        const int ended = now()->doInquiry(accessCode, found, cancel, adapter);
        if (!holdInquiries) {
            return ended;
        }
        std::mutex waiting;
        std::condition_variable_any wake;
        std::unique_lock guard(waiting);
        wake.wait(guard, cancel, [] { return false; });
        return bluetooth::DiscoveryListener::INQUIRY_TERMINATED;
    }

    // Each inquiry, once it has reported its devices, goes on until it is cancelled.
    std::atomic<bool> holdInquiries{false};
    std::optional<std::vector<int>> getServiceHandles(std::span<const bluetooth::UUID> uuids,
                                                      std::int64_t address, int adapter) override {
        return now()->getServiceHandles(uuids, address, adapter);
    }
    bluetooth::Bytes getServiceAttributes(std::span<const int> attrIDs, std::int64_t address,
                                          int handle, int adapter) override {
        return now()->getServiceAttributes(attrIDs, address, handle, adapter);
    }

private:
    std::shared_ptr<NativeStack> now() const {
        const std::lock_guard guard(lock);
        return current;
    }

    mutable std::mutex lock;
    std::shared_ptr<NativeStack> current;
};

// The neighbourhood of the engine's tests: "receiver" leads to our own server on the local
// channel 3; the others are virtual phones.
struct Phones {
    static constexpr const char* kObjectPush = R"([ { "uuid": "1105", "channel": 9 } ])";

    testing::TempFolder root;
    std::uint16_t serverPort = 0;
    std::shared_ptr<obex::VirtualPhoneLauncher> launcher =
        std::make_shared<obex::VirtualPhoneLauncher>();
    SwappableStack* stack = nullptr;

    Phones() {
        serverPort = testing::freeLoopbackPort();
        const std::string folder = (root.path / "inbox").string();
        const std::string json = R"({
          "local": { "address": "0012a1b2c3d4", "rfcomm_ports": { "3": )" +
                                 std::to_string(serverPort) + R"( } },
          "inquiry_ms": 20,
          "devices": [
            { "address": "001234560001", "name": "Own server", "sdp": "none",
              "rfcomm": { "3": "tcp:127.0.0.1:)" +
                                 std::to_string(serverPort) + R"(" } },
            { "address": "001234560002", "name": "Strict", "services": )" +
                                 kObjectPush + R"(,
              "rfcomm": { "9": { "preset": "strict", "save_to": ")" +
                                 folder + R"(" } } },
            { "address": "001234560003", "name": "Declines", "services": )" +
                                 kObjectPush + R"(,
              "rfcomm": { "9": { "preset": "strict", "prompt": "decline" } } },
            { "address": "001234560004", "name": "Drops", "services": )" +
                                 kObjectPush + R"(,
              "rfcomm": { "9": { "drop_after_bytes": 3000 } } },
            { "address": "001234560005", "name": "Plain", "services": )" +
                                 kObjectPush + R"(,
              "rfcomm": { "9": { "save_to": ")" +
                                 folder + R"(" } } },
            { "address": "001234560002", "name": "Strict" },
            { "address": "001234560006", "name": "Broken", "sdp": "error" },
            { "address": "001234560007", "name": "Far away", "sdp": "unreachable" }
          ] })";
        auto swappable = std::make_unique<SwappableStack>(fromFile(root.path, json));
        stack = swappable.get();
        EXPECT_TRUE(bluetooth::installNativeStack(std::move(swappable)))
            << "the native stack was chosen before the phones were in place";
    }

    std::filesystem::path inbox() const { return root.path / "inbox"; }

    // The stack of a neighbourhood file with that text, written into folder.
    std::shared_ptr<bluetooth::NativeStack> fromFile(const std::filesystem::path& folder,
                                                     const std::string& json) const {
        const std::filesystem::path file = fileWith(folder, "neighbourhood.json", json);
        return std::make_shared<bluetooth::NeighbourhoodStack>(
            bluetooth::loadNeighbourhoodFile(file.string()), launcher);
    }

    static Phones& get() {
        static Phones phones;
        return phones;
    }
};

// Puts the engine among the phones of another neighbourhood file while it lives; its phones stop
// when it goes.
class OtherPhones {
public:
    explicit OtherPhones(const std::string& json)
        : previous(Phones::get().stack->swap(Phones::get().fromFile(folder.path, json))) {}
    ~OtherPhones() { Phones::get().stack->swap(previous); }
    OtherPhones(const OtherPhones&) = delete;
    OtherPhones& operator=(const OtherPhones&) = delete;

private:
    testing::TempFolder folder;
    std::shared_ptr<bluetooth::NativeStack> previous;
};

}  // namespace flarecast::engine
