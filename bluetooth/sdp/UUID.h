#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "bluetooth/sdp/HexText.h"

namespace flarecast::bluetooth {

// A 128-bit SDP UUID. Short (16- and 32-bit) forms are stored expanded against the Bluetooth base
// UUID, so a short and a long form of the same UUID are equal.
class UUID {
public:
    // The value as a short UUID; above 0xFFFFFFFF or negative is an illegal argument.
    explicit UUID(std::int64_t value);
    // Hexadecimal text: 1 to 8 digits in short form, 1 to 32 in long form, padded on the left.
    UUID(std::string_view text, bool shortUUID);
    explicit UUID(const std::array<std::uint8_t, 16>& bytes) : uuidValue(bytes) {}

    static const UUID RFCOMM_PROTOCOL_UUID;
    static const UUID L2CAP_PROTOCOL_UUID;
    static const UUID OBEXFileTransferServiceClass_UUID;

    const std::array<std::uint8_t, 16>& bytes() const { return uuidValue; }
    // The 16- or 32-bit value of a UUID on the Bluetooth base UUID; nothing for any other.
    std::optional<std::uint32_t> shortValue() const;
    // 32 lower-case hexadecimal digits.
    std::string toString() const;
    // Bytes 12 to 15, big-endian: every short UUID hashes alike.
    std::int32_t hashCode() const;

    friend bool operator==(const UUID&, const UUID&) = default;

private:
    std::array<std::uint8_t, 16> uuidValue{};
};

}  // namespace flarecast::bluetooth
