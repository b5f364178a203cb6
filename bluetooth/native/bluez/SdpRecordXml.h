#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace flarecast::bluetooth::bluez {

// A service record in its SDP encoding (a sequence of attribute ID / value pairs) as the XML
// record that bluetoothd's profile manager takes. The record handle (attribute 0) is left out:
// bluetoothd gives each record its own. Bytes that are not such a record are an I/O error.
std::string sdpRecordToXml(std::span<const std::uint8_t> record);

}  // namespace flarecast::bluetooth::bluez
