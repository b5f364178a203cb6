#include "bluetooth/native/bluez/LegacySdpRecord.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "bluetooth/io/Errors.h"
#include "bluetooth/native/bluez/RecordAttributes.h"
#include "bluetooth/sdp/SDPOutputStream.h"

namespace flarecast::bluetooth::bluez {

namespace {

// The SDP server would take a record handle in the record as the one to use, and replace any
// record that has it already; without one it gives the record a fresh handle.
Bytes withoutRecordHandle(std::span<const std::uint8_t> record) {
    auto kept = DataElement::make(DataElement::DATSEQ);
    for (const auto& [id, value] : recordAttributes(record)) {
        if (id != 0x0000) {
            kept->addElement(DataElement::make(DataElement::U_INT_2, std::int64_t{id}));
            kept->addElement(value);
        }
    }
    ByteArrayOutputStream bytes;
    SDPOutputStream(bytes).writeElement(*kept);
    return bytes.toByteArray();
}

}  // namespace

LegacySdpRecord::LegacySdpRecord(const bdaddr_t& adapter, std::span<const std::uint8_t> record)
    : adapter(adapter) {
    Bytes bytes = withoutRecordHandle(record);
    errno = 0;
    // The SDP server of this machine's bluetoothd, through its local socket.
    const bdaddr_t any{};
    const bdaddr_t local{{0, 0, 0, 0xFF, 0xFF, 0xFF}};
    session = sdp_connect(&any, &local, SDP_RETRY_IF_BUSY);
    if (session == nullptr) {
        throw IOError(std::strerror(errno != 0 ? errno : ECONNREFUSED));
    }
    if (sdp_device_record_register_binary(session, &this->adapter, bytes.data(),
                                          static_cast<std::uint32_t>(bytes.size()), 0,
                                          &recordHandle) < 0) {
        const int error = errno;
        sdp_close(session);
        throw IOError(std::string("record refused: ") + std::strerror(error));
    }
}

LegacySdpRecord::~LegacySdpRecord() {
    sdp_device_record_unregister_binary(session, &adapter, recordHandle);
    sdp_close(session);
}

}  // namespace flarecast::bluetooth::bluez
