#pragma once

#include <optional>
#include <vector>

#include "bluetooth/discovery/RemoteDevice.h"
#include "bluetooth/io/OwnedThread.h"
#include "bluetooth/sdp/UUID.h"

namespace flarecast::bluetooth {

class BluetoothPeer;
class DiscoveryListener;

// Runs one service search on a device: the handle query, then the attributes of each record.
// Every search ends with serviceSearchCompleted: SERVICE_SEARCH_DEVICE_NOT_REACHABLE when the
// device could not be reached, SERVICE_SEARCH_ERROR when the query failed otherwise.
class SearchServicesThread {
public:
    SearchServicesThread(DiscoveryListener& listener, std::optional<std::vector<int>> attrSet,
                         std::vector<UUID> uuidSet, RemoteDevice device, BluetoothPeer& peer)
        : listener(listener),
          attrSet(std::move(attrSet)),
          uuidSet(std::move(uuidSet)),
          device(std::move(device)),
          peer(peer) {}

    void start();
    bool finished() const { return thread.finished(); }

private:
    void run();
    int search();

    DiscoveryListener& listener;
    std::optional<std::vector<int>> attrSet;
    std::vector<UUID> uuidSet;
    RemoteDevice device;
    BluetoothPeer& peer;
    OwnedThread thread;
};

}  // namespace flarecast::bluetooth
