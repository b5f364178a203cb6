#include "bluetooth/native/bluez/BluezAddress.h"

#include <cctype>

namespace flarecast::bluetooth::bluez {

bdaddr_t toBdaddr(std::int64_t address) {
    bdaddr_t result{};
    for (int i = 0; i < 6; ++i) {
        result.b[i] = static_cast<std::uint8_t>(address >> (8 * i));
    }
    return result;
}

std::int64_t fromBdaddr(const bdaddr_t& address) {
    std::int64_t result = 0;
    for (int i = 5; i >= 0; --i) {
        result = (result << 8) | address.b[i];
    }
    return result;
}

std::optional<std::int64_t> parseColonAddress(std::string_view text) {
    if (text.size() != 17) {
        return std::nullopt;
    }
    std::int64_t result = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (i % 3 == 2) {
            if (c != ':') {
                return std::nullopt;
            }
            continue;
        }
        if (std::isxdigit(static_cast<unsigned char>(c)) == 0) {
            return std::nullopt;
        }
        const int digit = std::isdigit(static_cast<unsigned char>(c)) != 0
                              ? c - '0'
                              : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        result = (result << 4) | digit;
    }
    return result;
}

}  // namespace flarecast::bluetooth::bluez
