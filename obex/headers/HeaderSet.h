#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "bluetooth/io/Streams.h"

namespace flarecast::obex {

using bluetooth::Bytes;

// A header's value: text (UTF-8), an integer, or bytes, as its id requires.
using HeaderValue = std::variant<std::string, std::int64_t, Bytes>;

// The headers of one OBEX packet, at most one value per id.
class HeaderSet {
public:
    static constexpr int COUNT = 0xC0;
    static constexpr int NAME = 0x01;
    static constexpr int TYPE = 0x42;
    static constexpr int LENGTH = 0xC3;
    static constexpr int TIME_ISO_8601 = 0x44;
    static constexpr int TIME_4_BYTE = 0xC4;
    static constexpr int DESCRIPTION = 0x05;
    static constexpr int TARGET = 0x46;
    static constexpr int HTTP = 0x47;
    static constexpr int BODY = 0x48;
    static constexpr int END_OF_BODY = 0x49;
    static constexpr int WHO = 0x4A;
    static constexpr int CONNECTION_ID = 0xCB;
    static constexpr int APPLICATION_PARAMETER = 0x4C;
    static constexpr int AUTH_CHALLENGE = 0x4D;
    static constexpr int AUTH_RESPONSE = 0x4E;
    static constexpr int OBJECT_CLASS = 0x4F;

    virtual ~HeaderSet() = default;

    // An empty value removes the header.
    virtual void setHeader(int id, std::optional<HeaderValue> value) = 0;
    virtual std::optional<HeaderValue> getHeader(int id) const = 0;
    // The ids present; the body, when present, last.
    virtual std::vector<int> getHeaderList() const = 0;
    // The code of the response this set was read from; an I/O error for a set made locally.
    virtual int getResponseCode() const = 0;
    // Adds an AUTH_CHALLENGE with a fresh nonce.
    virtual void createAuthenticationChallenge(const std::string& realm, bool userID,
                                               bool access) = 0;
};

}  // namespace flarecast::obex
