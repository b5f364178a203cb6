#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/engine/Wakeup.h"
#include "bluetooth/discovery/DiscoveryListener.h"

namespace flarecast::bluetooth {
class DiscoveryAgent;
class LocalDevice;
}  // namespace flarecast::bluetooth

namespace flarecast::engine {

// The engine's discovery listener: starts the inquiry and the Object Push searches for the
// worker, collects the devices found and the URL a search found, and raises the flags that the
// worker waits for, waking it through events. Callbacks arrive on the inquiry and search threads.
class Bluetooth : public bluetooth::DiscoveryListener {
public:
    // Inquiries run on the local adapter of that number; searches go through the adapter that
    // found the device.
    explicit Bluetooth(int adapter = 0);

    // Starts an inquiry with this listener; returns at once. Errors are printed.
    void dodeviceenquiry();
    // The longest the inquiry runs; the standard length when the stack cannot say.
    std::chrono::milliseconds inquiryLength() const noexcept;
    // Ends the running inquiry early; its completion is still reported.
    void cancelenquiry();
    // Starts a search for OBEX Object Push on the device; returns the transaction identifier.
    int doserviceenquiry(const bluetooth::RemoteDevice& device);

    void servicesDiscovered(
        int transID,
        const std::vector<std::shared_ptr<bluetooth::ServiceRecord>>& records) override;
    void serviceSearchCompleted(int transID, int respCode) override;
    void inquiryCompleted(int discType) override;
    void deviceDiscovered(const bluetooth::RemoteDevice& device,
                          const bluetooth::DeviceClass& deviceClass) override;

    // The devices of the current inquiry in report order; empty before its first report.
    std::vector<bluetooth::RemoteDevice> devlist() const;
    std::size_t deviceCount() const;
    // The device at index in report order, if one has been reported there.
    std::optional<bluetooth::RemoteDevice> deviceAt(std::size_t index) const;
    // The class of device the inquiry reported with the device at index; 0 when unknown.
    std::int32_t deviceClassAt(std::size_t index) const;
    std::optional<std::string> obexurl() const;
    void clearObexurl();

    std::atomic<int> searchresult{0};
    std::atomic<bool> servicesearchcompleted{false};
    std::atomic<bool> devicesearchcompleted{false};
    // Notified after each of the flags above is raised and after each device found.
    Wakeup events;
    // Run on the inquiry's thread for each device it reports and at its end, before events is
    // notified; set before the inquiry starts.
    std::function<void(const bluetooth::RemoteDevice&)> whenFound;
    std::function<void()> whenInquiryEnded;

private:
    // Set once: the inquiry and the searches may be started from different threads.
    bluetooth::LocalDevice& localdevice;
    bluetooth::DiscoveryAgent& discoveryagent;
    const int adapter;

    mutable std::mutex lock;
    std::vector<bluetooth::RemoteDevice> devices;
    // Beside devices, index for index.
    std::vector<std::int32_t> classes;
    std::optional<std::string> url;
};

}  // namespace flarecast::engine
