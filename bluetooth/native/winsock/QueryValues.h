#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "bluetooth/sdp/UUID.h"

namespace flarecast::bluetooth::winsock {

// The values that go into the structures of Windows' Bluetooth lookups, without its types.

// A GUID's fields: the UUID's bytes, the first three fields read most significant byte first.
struct GuidFields {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::array<std::uint8_t, 8> data4{};

    friend bool operator==(const GuidFields&, const GuidFields&) = default;
};
GuidFields guidOf(const UUID& uuid);

// One UUID of a service search: its 16-bit form where it has one, all 128 bits otherwise. (A
// 32-bit one goes long: Windows' tag for it is the tag of a 32-bit integer.)
struct SearchUuid {
    std::optional<std::uint16_t> shortForm;
    GuidFields guid;

    friend bool operator==(const SearchUuid&, const SearchUuid&) = default;
};
// SDP searches for 1 to 12 UUIDs at once; nothing for any other count.
std::optional<std::vector<SearchUuid>> searchUuids(std::span<const UUID> uuids);

// Attribute IDs 0x0000 to 0xFFFF as the fewest ascending ranges that hold them all.
struct AttributeRange {
    std::uint16_t first = 0;
    std::uint16_t last = 0;

    friend bool operator==(const AttributeRange&, const AttributeRange&) = default;
};
std::vector<AttributeRange> attributeRanges(std::span<const int> attrIDs);

// Windows asks for an inquiry's length in whole seconds, 1 to 60.
int inquirySeconds(std::chrono::milliseconds length);

}  // namespace flarecast::bluetooth::winsock
