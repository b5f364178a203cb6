#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "bluetooth/discovery/DiscoveryListener.h"
#include "bluetooth/discovery/InquiryThread.h"
#include "bluetooth/discovery/SearchServicesThread.h"
#include "bluetooth/native/NativeStack.h"

namespace flarecast::bluetooth {

// The one bridge to the operating system's Bluetooth stack: forwards to the process's native
// stack, turns inquiry results into RemoteDevice and DeviceClass values, and owns the threads
// of the inquiries and searches it starts (joined at the latest when the peer goes).
class BluetoothPeer {
public:
    explicit BluetoothPeer(NativeStack& stack) : stack(stack) {}
    BluetoothPeer(const BluetoothPeer&) = delete;
    BluetoothPeer& operator=(const BluetoothPeer&) = delete;
    ~BluetoothPeer();

    // Start a thread for the inquiry or search and return at once; the listener must outlive
    // the report of completion.
    void startInquiry(int accessCode, DiscoveryListener& listener, int adapter = 0);
    void startSearchServices(std::optional<std::vector<int>> attrSet, std::vector<UUID> uuidSet,
                             const RemoteDevice& device, DiscoveryListener& listener);

    std::vector<std::string> adapters() { return stack.adapters(); }
    int socket(bool authenticate, bool encrypt) { return stack.socket(authenticate, encrypt); }
    std::int64_t getsockaddress(int handle) { return stack.getsockaddress(handle); }
    int getsockchannel(int handle) { return stack.getsockchannel(handle); }
    void connect(int handle, std::int64_t address, int channel, int adapter = 0) {
        stack.connect(handle, address, channel, adapter);
    }
    void listen(int handle) { stack.listen(handle); }
    int accept(int handle) { return stack.accept(handle); }
    int recv(int handle) { return stack.recv(handle); }
    int recv(int handle, std::span<std::uint8_t> buffer) { return stack.recv(handle, buffer); }
    void send(int handle, int byte) { stack.send(handle, byte); }
    void send(int handle, std::span<const std::uint8_t> bytes) { stack.send(handle, bytes); }
    void close(int handle) { stack.close(handle); }
    int registerService(std::span<const std::uint8_t> record) {
        return stack.registerService(record);
    }
    void unregisterService(int handle) { stack.unregisterService(handle); }

    std::chrono::milliseconds inquiryLength() { return stack.inquiryLength(); }
    // Blocks for the whole inquiry; deviceDiscovered runs on the calling thread.
    int doInquiry(int accessCode, DiscoveryListener& listener, std::stop_token cancel = {},
                  int adapter = 0);
    // Ends the inquiries that report to this listener, and no other; true when one was running.
    bool cancelInquiry(const DiscoveryListener& listener);
    std::optional<std::vector<int>> getServiceHandles(std::span<const UUID> uuids,
                                                      std::int64_t address, int adapter = 0) {
        return stack.getServiceHandles(uuids, address, adapter);
    }
    Bytes getServiceAttributes(std::span<const int> attrIDs, std::int64_t address, int handle,
                               int adapter = 0) {
        return stack.getServiceAttributes(attrIDs, address, handle, adapter);
    }

private:
    // Joins the threads whose work is done; called with threadsLock held.
    void reapFinished();

    NativeStack& stack;
    std::mutex threadsLock;
    std::vector<std::unique_ptr<InquiryThread>> inquiries;
    std::vector<std::unique_ptr<SearchServicesThread>> searches;
};

}  // namespace flarecast::bluetooth
