#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "bluetooth/sdp/DataElement.h"

namespace flarecast::bluetooth::bluez {

// The attribute ID / value pairs of a service record in its SDP encoding, in their order. Bytes
// that are not such a record are an I/O error.
std::vector<std::pair<int, DataElement::Ptr>> recordAttributes(
    std::span<const std::uint8_t> record);

}  // namespace flarecast::bluetooth::bluez
