#pragma once

#include <string>

#include "bluetooth/native/neighbourhood/NeighbourhoodKeys.h"
#include "bluetooth/native/neighbourhood/VirtualPhoneProfile.h"

namespace flarecast::bluetooth {

// Reads the object of an rfcomm entry that describes a virtual phone; key names the entry.
VirtualPhoneProfile readVirtualPhone(const NeighbourhoodKeys& keys,
                                     const NeighbourhoodKeys::Json& entry, const std::string& key);

}  // namespace flarecast::bluetooth
