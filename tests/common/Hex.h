#pragma once

#include <string_view>

#include "bluetooth/io/Streams.h"

namespace flarecast::testing {

// "37 00 00 00 02" -> bytes; spaces are ignored.
inline bluetooth::Bytes hex(std::string_view text) {
    bluetooth::Bytes bytes;
    int high = -1;
    for (const char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            continue;
        }
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high * 16 + digit));
            high = -1;
        }
    }
    return bytes;
}

}  // namespace flarecast::testing
