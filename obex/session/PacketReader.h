#pragma once

#include <span>

#include "bluetooth/io/Streams.h"

namespace flarecast::obex {

// Exactly buffer.size() bytes; the end of the stream before that is an I/O error.
void readFully(bluetooth::InputStream& in, std::span<std::uint8_t> buffer);
// The code byte of the next packet; the end of the stream before it is an I/O error.
std::uint8_t readPacketCode(bluetooth::InputStream& in);
// The rest of the packet that began with code: its length, then what the length announces.
bluetooth::Bytes readPacketAfter(std::uint8_t code, bluetooth::InputStream& in);

}  // namespace flarecast::obex
