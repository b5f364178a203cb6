#pragma once

#include <cstddef>
#include <span>

#include "obex/headers/HeaderSetImpl.h"

namespace flarecast::obex {

// The header bytes of a packet for a header set, body last; no set gives no bytes. A value of
// the wrong kind for its id is a type error. CONNECTION_ID is never written from a set: the
// session adds it to every request itself.
Bytes hsToByteArray(const HeaderSet* headers);

// The headers of a whole received packet from offset to its end. A header that does not fit in
// the packet is reported on standard output and skipped; nothing outside the packet is read.
HeaderSetImpl parseHeaders(std::size_t offset, std::span<const std::uint8_t> packet);

}  // namespace flarecast::obex
