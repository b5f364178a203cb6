#include "bluetooth/sdp/UUID.h"

#include <algorithm>

#include "bluetooth/io/Errors.h"

namespace flarecast::bluetooth {

namespace {

constexpr std::string_view kBaseUUIDTail = "00001000800000805F9B34FB";
constexpr std::array<std::uint8_t, 12> kBaseTail = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                                    0x00, 0x80, 0x5F, 0x9B, 0x34, 0xFB};

int hexDigit(char c) {
    const int value = hexDigitValue(c);
    if (value < 0) {
        throw NumberFormatError("For input string: \"" + std::string(1, c) + "\"");
    }
    return value;
}

}  // namespace

const UUID UUID::RFCOMM_PROTOCOL_UUID(0x0003);
const UUID UUID::L2CAP_PROTOCOL_UUID(0x0100);
const UUID UUID::OBEXFileTransferServiceClass_UUID(0x1106);

UUID::UUID(std::int64_t value) {
    // The same as the short-form text of the value, without going through text.
    if (value < 0 || value > 0xFFFFFFFFLL) {
        throw IllegalArgumentError();
    }
    for (int i = 0; i < 4; ++i) {
        uuidValue[static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) >> (24 - 8 * i));
    }
    std::copy(kBaseTail.begin(), kBaseTail.end(), uuidValue.begin() + 4);
}

UUID::UUID(std::string_view text, bool shortUUID) {
    const std::size_t limit = shortUUID ? 8 : 32;
    if (text.empty() || text.size() > limit) {
        throw IllegalArgumentError();
    }
    std::string digits(limit - text.size(), '0');
    digits.append(text);
    if (shortUUID) {
        digits.append(kBaseUUIDTail);
    }
    for (std::size_t i = 0; i < uuidValue.size(); ++i) {
        uuidValue[i] =
            static_cast<std::uint8_t>(hexDigit(digits[2 * i]) * 16 + hexDigit(digits[2 * i + 1]));
    }
}

std::optional<std::uint32_t> UUID::shortValue() const {
    if (!std::equal(kBaseTail.begin(), kBaseTail.end(), uuidValue.begin() + 4)) {
        return std::nullopt;
    }
    return (std::uint32_t{uuidValue[0]} << 24) | (std::uint32_t{uuidValue[1]} << 16) |
           (std::uint32_t{uuidValue[2]} << 8) | uuidValue[3];
}

std::string UUID::toString() const {
    return hexString(uuidValue.data(), uuidValue.size());
}

std::int32_t UUID::hashCode() const {
    return static_cast<std::int32_t>(
        (std::uint32_t{uuidValue[12]} << 24) | (std::uint32_t{uuidValue[13]} << 16) |
        (std::uint32_t{uuidValue[14]} << 8) | std::uint32_t{uuidValue[15]});
}

}  // namespace flarecast::bluetooth
