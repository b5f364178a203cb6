#include "bluetooth/discovery/SearchServicesThread.h"

#include <exception>

#include "bluetooth/discovery/DiscoveryListener.h"
#include "bluetooth/io/Console.h"
#include "bluetooth/io/Errors.h"
#include "bluetooth/native/BluetoothPeer.h"
#include "bluetooth/records/ServiceRecordImpl.h"

namespace flarecast::bluetooth {

namespace {

const std::vector<int> kDefaultAttributes = {0x0000, 0x0001, 0x0002, 0x0003, 0x0004};

}  // namespace

void SearchServicesThread::start() {
    thread.start([this] { run(); });
}

void SearchServicesThread::run() {
    int respCode = DiscoveryListener::SERVICE_SEARCH_ERROR;
    try {
        respCode = search();
    } catch (const std::exception& error) {
        printLine(error.what());
    }
    try {
        listener.serviceSearchCompleted(0, respCode);
    } catch (const std::exception& error) {
        printLine(error.what());
    }
}

int SearchServicesThread::search() {
    std::optional<std::vector<int>> handles;
    try {
        handles = peer.getServiceHandles(uuidSet, device.getAddress(), device.getAdapter());
    } catch (const BluetoothStateException&) {
        // Our own adapter failed, not the device.
        throw;
    } catch (const IOError& error) {
        printLine(error.what());
        return DiscoveryListener::SERVICE_SEARCH_DEVICE_NOT_REACHABLE;
    }
    if (!handles) {
        return DiscoveryListener::SERVICE_SEARCH_ERROR;
    }
    if (handles->empty()) {
        return DiscoveryListener::SERVICE_SEARCH_NO_RECORDS;
    }
    std::vector<std::shared_ptr<ServiceRecord>> records;
    for (const int handle : *handles) {
        auto record = std::make_shared<ServiceRecordImpl>(device, handle);
        // A record that cannot be read stays as far as it was filled.
        try {
            record->populateRecord(kDefaultAttributes);
            if (attrSet && !attrSet->empty()) {
                record->populateRecord(*attrSet);
            }
        } catch (const Error&) {
        }
        records.push_back(std::move(record));
    }
    listener.servicesDiscovered(0, records);
    return DiscoveryListener::SERVICE_SEARCH_COMPLETED;
}

}  // namespace flarecast::bluetooth
