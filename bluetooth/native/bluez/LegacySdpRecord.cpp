#include "bluetooth/native/bluez/LegacySdpRecord.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "bluetooth/io/Errors.h"
#include "bluetooth/sdp/DataElement.h"
#include "bluetooth/sdp/SDPInputStream.h"
#include "bluetooth/sdp/SDPOutputStream.h"

namespace flarecast::bluetooth::bluez {

namespace {

// The SDP server would take a record handle in the record as the one to use, and replace any
// record that has it already; without one it gives the record a fresh handle.
Bytes withoutRecordHandle(std::span<const std::uint8_t> record) {
    DataElement::Ptr attributes;
    try {
        SDPInputStream in(record);
        attributes = in.readElement();
    } catch (const Error&) {
        throw IOError("service record is not valid SDP data");
    }
    if (!attributes || attributes->getDataType() != DataElement::DATSEQ) {
        throw IOError("service record is not a sequence of attributes");
    }
    const auto pairs = attributes->getChildren();
    auto kept = DataElement::make(DataElement::DATSEQ);
    for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) {
        if (pairs[i]->getDataType() == DataElement::U_INT_2 && pairs[i]->getLong() == 0) {
            continue;
        }
        kept->addElement(pairs[i]);
        kept->addElement(pairs[i + 1]);
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
