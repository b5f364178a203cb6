#pragma once

#include <span>

#include "bluetooth/native/neighbourhood/Neighbourhood.h"

namespace flarecast::bluetooth {

// The attribute list that a device publishes for a service of the neighbourhood file: record
// handle, service class, L2CAP and RFCOMM protocol descriptors, and the name, limited to the
// attributes asked for.
Bytes standardRecord(const Neighbourhood::Service& service, int handle,
                     std::span<const int> attrIDs);

// The service matches a search when every searched UUID occurs in its record.
bool serviceHoldsAll(const Neighbourhood::Service& service, std::span<const UUID> uuids);
// The same for a record given as bytes; bytes that do not decode match nothing.
bool recordHoldsAll(std::span<const std::uint8_t> record, std::span<const UUID> uuids);

}  // namespace flarecast::bluetooth
