#include "bluetooth/native/winsock/WinsockAddress.h"

namespace flarecast::bluetooth::winsock {

namespace {

constexpr std::uint64_t kAddressBits = 0xFFFFFFFFFFFFULL;

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

std::uint64_t toBthAddr(std::int64_t address) {
    return static_cast<std::uint64_t>(address) & kAddressBits;
}

std::int64_t fromBthAddr(std::uint64_t address) {
    return static_cast<std::int64_t>(address & kAddressBits);
}

std::string addressContext(std::int64_t address) {
    constexpr std::string_view kDigits = "0123456789ABCDEF";
    const std::uint64_t bits = toBthAddr(address);
    std::string text = "(";
    for (int shift = 40; shift >= 0; shift -= 8) {
        const auto byte = static_cast<unsigned>((bits >> shift) & 0xFF);
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
        text += shift > 0 ? ':' : ')';
    }
    return text;
}

std::optional<std::int64_t> parseAddressContext(std::string_view text) {
    if (text.size() == 19 && text.front() == '(' && text.back() == ')') {
        text = text.substr(1, 17);
    }
    if (text.size() != 17) {
        return std::nullopt;
    }
    std::int64_t result = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i % 3 == 2) {
            if (text[i] != ':') {
                return std::nullopt;
            }
            continue;
        }
        const int digit = hexDigit(text[i]);
        if (digit < 0) {
            return std::nullopt;
        }
        result = (result << 4) | digit;
    }
    return result;
}

}  // namespace flarecast::bluetooth::winsock
