#pragma once

#include <span>
#include <string>
#include <string_view>

#include "bluetooth/io/Streams.h"

namespace flarecast::obex {

using bluetooth::Bytes;

// Text is UTF-8 in our code. Anything that is not valid in its encoding becomes U+FFFD, so text
// from the air can never make these fail.
std::u32string decodeUtf8(std::string_view utf8);
std::string encodeUtf8(std::u32string_view text);

// UTF-16BE code units, surrogate pairs beyond the basic plane, no terminator.
Bytes toUtf16BE(std::string_view utf8);
// Up to the first null unit, if any; an odd last byte is ignored.
std::string fromUtf16BE(std::span<const std::uint8_t> units);

// ISO-8859-1; characters beyond it become '?'.
Bytes toLatin1(std::string_view utf8);
std::string fromLatin1(std::span<const std::uint8_t> latin1);

}  // namespace flarecast::obex
