#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bluetooth/discovery/DiscoveryListener.h"
#include "bluetooth/io/StoppableWaits.h"
#include "bluetooth/native/NativeStack.h"

namespace flarecast::testing {

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
    std::chrono::milliseconds inquiryLength() override { return now()->inquiryLength(); }
    int doInquiry(int accessCode, const DeviceFound& found, std::stop_token cancel,
                  int adapter) override {
        const int ended = now()->doInquiry(accessCode, found, cancel, adapter);
        if (!holdInquiries) {
            return ended;
        }
        std::mutex waiting;
        std::condition_variable_any wake;
        std::unique_lock guard(waiting);
        bluetooth::stoppableWait(wake, guard, cancel, [] { return false; });
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

}  // namespace flarecast::testing
