#include "obex/headers/TextEncoding.h"

namespace flarecast::obex {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kMaxCodePoint = 0x10FFFF;

bool isSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

void putUnit(Bytes& out, char32_t unit) {
    out.push_back(static_cast<std::uint8_t>(unit >> 8));
    out.push_back(static_cast<std::uint8_t>(unit));
}

}  // namespace

std::u32string decodeUtf8(std::string_view utf8) {
    std::u32string text;
    text.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<std::uint8_t>(utf8[i]);
        int trailing = 0;
        char32_t c = 0;
        char32_t smallest = 0;
        if (lead < 0x80) {
            text.push_back(lead);
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            trailing = 1;
            c = lead & 0x1Fu;
            smallest = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            trailing = 2;
            c = lead & 0x0Fu;
            smallest = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            trailing = 3;
            c = lead & 0x07u;
            smallest = 0x10000;
        } else {
            text.push_back(kReplacement);
            ++i;
            continue;
        }
        std::size_t next = i + 1;
        int taken = 0;
        while (taken < trailing && next < utf8.size() &&
               (static_cast<std::uint8_t>(utf8[next]) & 0xC0) == 0x80) {
            c = (c << 6) | (static_cast<std::uint8_t>(utf8[next]) & 0x3Fu);
            ++next;
            ++taken;
        }
        const bool valid =
            taken == trailing && c >= smallest && c <= kMaxCodePoint && !isSurrogate(c);
        text.push_back(valid ? c : kReplacement);
        i = next;
    }
    return text;
}

std::string encodeUtf8(std::u32string_view text) {
    std::string utf8;
    utf8.reserve(text.size());
    for (char32_t c : text) {
        if (c > kMaxCodePoint || isSurrogate(c)) {
            c = kReplacement;
        }
        if (c < 0x80) {
            utf8.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            utf8.push_back(static_cast<char>(0xC0 | (c >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            utf8.push_back(static_cast<char>(0xE0 | (c >> 12)));
            utf8.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            utf8.push_back(static_cast<char>(0xF0 | (c >> 18)));
            utf8.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return utf8;
}

Bytes toUtf16BE(std::string_view utf8) {
    Bytes units;
    units.reserve(2 * utf8.size());
    for (const char32_t c : decodeUtf8(utf8)) {
        if (c < 0x10000) {
            putUnit(units, c);
        } else {
            const char32_t offset = c - 0x10000;
            putUnit(units, 0xD800 + (offset >> 10));
            putUnit(units, 0xDC00 + (offset & 0x3FF));
        }
    }
    return units;
}

std::string fromUtf16BE(std::span<const std::uint8_t> units) {
    std::u32string text;
    const std::size_t count = units.size() / 2;
    const auto unitAt = [units](std::size_t i) {
        return static_cast<char32_t>(units[2 * i] << 8 | units[2 * i + 1]);
    };
    for (std::size_t i = 0; i < count; ++i) {
        const char32_t unit = unitAt(i);
        if (unit == 0) {
            break;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < count) {
            const char32_t low = unitAt(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                text.push_back(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        text.push_back(isSurrogate(unit) ? kReplacement : unit);
    }
    return encodeUtf8(text);
}

Bytes toLatin1(std::string_view utf8) {
    Bytes latin1;
    for (const char32_t c : decodeUtf8(utf8)) {
        latin1.push_back(c <= 0xFF ? static_cast<std::uint8_t>(c) : '?');
    }
    return latin1;
}

std::string fromLatin1(std::span<const std::uint8_t> latin1) {
    return encodeUtf8(std::u32string(latin1.begin(), latin1.end()));
}

}  // namespace flarecast::obex
