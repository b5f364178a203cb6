#include "bluetooth/connections/BluetoothStreamConnectionNotifier.h"

#include <utility>

#include "bluetooth/connections/BluetoothConnection.h"
#include "bluetooth/discovery/LocalDevice.h"
#include "bluetooth/io/Errors.h"

namespace flarecast::bluetooth {

BluetoothStreamConnectionNotifier::BluetoothStreamConnectionNotifier(
    const UUID& uuid, bool authenticate, bool encrypt, const std::optional<std::string>& name)
    : peer(LocalDevice::getLocalDevice().getBluetoothPeer()) {
    socket = peer.socket(authenticate, encrypt);
    try {
        peer.listen(socket);
        record.storeRecordHandle(DataElement::make(DataElement::U_INT_4, kRecordHandle));
        record.setAttributeValue(
            ServiceRecord::ServiceClassIDList,
            DataElement::sequence({DataElement::make(DataElement::UUID, uuid)}));
        const int channel = peer.getsockchannel(socket);
        record.setAttributeValue(
            ServiceRecord::ProtocolDescriptorList,
            DataElement::sequence(
                {DataElement::sequence(
                     {DataElement::make(DataElement::UUID, UUID::L2CAP_PROTOCOL_UUID)}),
                 DataElement::sequence(
                     {DataElement::make(DataElement::UUID, UUID::RFCOMM_PROTOCOL_UUID),
                      DataElement::make(DataElement::U_INT_1, std::int64_t{channel})})}));
        if (name) {
            record.setAttributeValue(ServiceRecord::ServiceName,
                                     DataElement::make(DataElement::STRING, *name));
        }
        handle = peer.registerService(record.toByteArray());
    } catch (...) {
        // A server that never came to be must not keep its socket.
        peer.close(socket);
        throw;
    }
}

BluetoothStreamConnectionNotifier::~BluetoothStreamConnectionNotifier() {
    try {
        close();
    } catch (const Error&) {
    }
}

std::unique_ptr<StreamConnection> BluetoothStreamConnectionNotifier::acceptAndOpen() {
    return std::make_unique<BluetoothConnection>(peer.accept(socket));
}

void BluetoothStreamConnectionNotifier::updateServiceRecord() {
    if (closed) {
        throw IOError();
    }
    // The new record goes in before the old one goes, so that the service is never missing.
    const int fresh = peer.registerService(record.toByteArray());
    peer.unregisterService(std::exchange(handle, fresh));
}

void BluetoothStreamConnectionNotifier::close() {
    if (closed.exchange(true)) {
        return;
    }
    peer.close(socket);
    peer.unregisterService(handle);
}

}  // namespace flarecast::bluetooth
