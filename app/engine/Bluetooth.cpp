#include "app/engine/Bluetooth.h"

#include <exception>

#include "bluetooth/discovery/LocalDevice.h"
#include "bluetooth/io/Console.h"
#include "bluetooth/io/Errors.h"
#include "bluetooth/native/NativeStack.h"

namespace flarecast::engine {

using bluetooth::printLine;

namespace {

constexpr std::int64_t kObexObjectPush = 0x1105;

}  // namespace

Bluetooth::Bluetooth(int adapter)
    : localdevice(bluetooth::LocalDevice::getLocalDevice()),
      discoveryagent(localdevice.getDiscoveryAgent()),
      adapter(adapter) {}

void Bluetooth::dodeviceenquiry() {
    {
        // An inquiry that finds nobody must not hand on the previous inquiry's devices.
        const std::lock_guard guard(lock);
        devices.clear();
        classes.clear();
    }
    try {
        localdevice.setDiscoverable(bluetooth::DiscoveryAgent::GIAC);
        discoveryagent.startInquiry(bluetooth::DiscoveryAgent::GIAC, *this, adapter);
    } catch (const std::exception& error) {
        printLine(error.what());
        // Nothing will report this inquiry's end, and the worker waits for it.
        inquiryCompleted(INQUIRY_ERROR);
    }
}

std::chrono::milliseconds Bluetooth::inquiryLength() const noexcept {
    try {
        return discoveryagent.inquiryLength();
    } catch (const std::exception& error) {
        printLine(error.what());
        return bluetooth::NativeStack::kStandardInquiry;
    }
}

void Bluetooth::cancelenquiry() {
    try {
        discoveryagent.cancelInquiry(this);
    } catch (const std::exception& error) {
        printLine(error.what());
    }
}

int Bluetooth::doserviceenquiry(const bluetooth::RemoteDevice& device) {
    try {
        return discoveryagent.searchServices(std::nullopt, {bluetooth::UUID(kObexObjectPush)},
                                             device, *this);
    } catch (const std::exception& error) {
        printLine(error.what());
        searchresult = SERVICE_SEARCH_ERROR;
        events.notify([this] { servicesearchcompleted = true; });
        return 0;
    }
}

void Bluetooth::deviceDiscovered(const bluetooth::RemoteDevice& device,
                                 const bluetooth::DeviceClass& deviceClass) {
    if (whenFound) {
        whenFound(device);
    }
    events.notify([this, &device, &deviceClass] {
        const std::lock_guard guard(lock);
        devices.push_back(device);
        classes.push_back(deviceClass.getRecord());
    });
}

void Bluetooth::inquiryCompleted(int /*discType*/) {
    if (whenInquiryEnded) {
        whenInquiryEnded();
    }
    events.notify([this] { devicesearchcompleted = true; });
}

void Bluetooth::servicesDiscovered(
    int /*transID*/, const std::vector<std::shared_ptr<bluetooth::ServiceRecord>>& records) {
    if (records.empty()) {
        return;
    }
    std::optional<std::string> first;
    try {
        first = records.front()->getConnectionURL(
            bluetooth::ServiceRecord::NOAUTHENTICATE_NOENCRYPT, false);
    } catch (const std::exception& error) {
        printLine(error.what());
    }
    {
        const std::lock_guard guard(lock);
        url = first;
    }
    printLine(first.value_or("null"));
}

void Bluetooth::serviceSearchCompleted(int /*transID*/, int respCode) {
    printLine(std::to_string(respCode));
    searchresult = respCode;
    switch (respCode) {
        case SERVICE_SEARCH_NO_RECORDS:
            printLine("Service Search No Records");
            break;
        case SERVICE_SEARCH_DEVICE_NOT_REACHABLE:
            printLine("Device Not Reachable");
            break;
        case SERVICE_SEARCH_ERROR:
            printLine("Service Search Error");
            break;
        case SERVICE_SEARCH_COMPLETED:
            printLine("Inquiry Completed");
            break;
        default:
            break;
    }
    events.notify([this] { servicesearchcompleted = true; });
}

std::vector<bluetooth::RemoteDevice> Bluetooth::devlist() const {
    const std::lock_guard guard(lock);
    return devices;
}

std::size_t Bluetooth::deviceCount() const {
    const std::lock_guard guard(lock);
    return devices.size();
}

std::optional<bluetooth::RemoteDevice> Bluetooth::deviceAt(std::size_t index) const {
    const std::lock_guard guard(lock);
    if (index >= devices.size()) {
        return std::nullopt;
    }
    return devices[index];
}

std::int32_t Bluetooth::deviceClassAt(std::size_t index) const {
    const std::lock_guard guard(lock);
    return index < classes.size() ? classes[index] : 0;
}

std::optional<std::string> Bluetooth::obexurl() const {
    const std::lock_guard guard(lock);
    return url;
}

void Bluetooth::clearObexurl() {
    const std::lock_guard guard(lock);
    url.reset();
}

}  // namespace flarecast::engine
