#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "bluetooth/connections/Connection.h"
#include "bluetooth/records/ServiceRecordImpl.h"
#include "bluetooth/sdp/UUID.h"

namespace flarecast::bluetooth {

class BluetoothPeer;

// An RFCOMM server: a listening socket with a registered service record naming the service's
// UUID and the channel. Each acceptAndOpen hands out one client connection.
class BluetoothStreamConnectionNotifier final : public StreamConnectionNotifier {
public:
    BluetoothStreamConnectionNotifier(const UUID& uuid, bool authenticate, bool encrypt,
                                      const std::optional<std::string>& name);
    ~BluetoothStreamConnectionNotifier() override;

    std::unique_ptr<StreamConnection> acceptAndOpen() override;
    // Releases the socket and the registration, once; a pending acceptAndOpen then fails.
    void close() override;
    ServiceRecordImpl& getServiceRecord() { return record; }
    // Publishes the record as it is now, in place of what was registered before.
    void updateServiceRecord();

private:
    static constexpr std::int64_t kRecordHandle = 0x00010020;

    BluetoothPeer& peer;
    int socket = -1;
    ServiceRecordImpl record{std::nullopt, 0};
    int handle = 0;
    std::atomic<bool> closed{false};
};

}  // namespace flarecast::bluetooth
