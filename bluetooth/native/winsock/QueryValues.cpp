#include "bluetooth/native/winsock/QueryValues.h"

#include <algorithm>

#include "bluetooth/io/Errors.h"

namespace flarecast::bluetooth::winsock {

namespace {

constexpr std::size_t kMaxSearchUuids = 12;
constexpr int kMaxInquirySeconds = 60;

}  // namespace

GuidFields guidOf(const UUID& uuid) {
    const auto& bytes = uuid.bytes();
    GuidFields guid;
    for (std::size_t i = 0; i < 4; ++i) {
        guid.data1 = (guid.data1 << 8) | bytes[i];
    }
    guid.data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
    guid.data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
    std::copy(bytes.begin() + 8, bytes.end(), guid.data4.begin());
    return guid;
}

std::optional<std::vector<SearchUuid>> searchUuids(std::span<const UUID> uuids) {
    if (uuids.empty() || uuids.size() > kMaxSearchUuids) {
        return std::nullopt;
    }
    std::vector<SearchUuid> result;
    result.reserve(uuids.size());
    for (const UUID& uuid : uuids) {
        SearchUuid search{std::nullopt, guidOf(uuid)};
        if (const auto value = uuid.shortValue(); value && *value <= 0xFFFF) {
            search.shortForm = static_cast<std::uint16_t>(*value);
        }
        result.push_back(search);
    }
    return result;
}

std::vector<AttributeRange> attributeRanges(std::span<const int> attrIDs) {
    std::vector<int> ids(attrIDs.begin(), attrIDs.end());
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    if (!ids.empty() && (ids.front() < 0 || ids.back() > 0xFFFF)) {
        throw IllegalArgumentError("attribute ID out of range");
    }
    std::vector<AttributeRange> ranges;
    for (const int id : ids) {
        if (!ranges.empty() && ranges.back().last + 1 == id) {
            ranges.back().last = static_cast<std::uint16_t>(id);
        } else {
            ranges.push_back({static_cast<std::uint16_t>(id), static_cast<std::uint16_t>(id)});
        }
    }
    return ranges;
}

int inquirySeconds(std::chrono::milliseconds length) {
    const auto seconds = std::chrono::ceil<std::chrono::seconds>(length).count();
    return static_cast<int>(std::clamp<std::int64_t>(seconds, 1, kMaxInquirySeconds));
}

}  // namespace flarecast::bluetooth::winsock
