#include "obex/headers/HeaderCodec.h"

#include <optional>
#include <string>

#include "bluetooth/io/Console.h"
#include "bluetooth/io/Errors.h"

namespace flarecast::obex {

namespace {

void putLength(Bytes& out, std::size_t length) {
    if (length > 0xFFFF) {
        throw bluetooth::IllegalArgumentError("header too long for one packet");
    }
    out.push_back(static_cast<std::uint8_t>(length >> 8));
    out.push_back(static_cast<std::uint8_t>(length));
}

template <typename T>
const T& valueAs(const HeaderValue& value) {
    if (!std::holds_alternative<T>(value)) {
        throw bluetooth::TypeError("header value of the wrong kind");
    }
    return std::get<T>(value);
}

void writeHeader(Bytes& out, int id, const HeaderValue& value) {
    out.push_back(static_cast<std::uint8_t>(id));
    switch (id) {
        case HeaderSet::NAME:
        case HeaderSet::DESCRIPTION: {
            const std::string& text = valueAs<std::string>(value);
            putLength(out, 2 * text.size() + 5);
            for (const char c : text) {
                out.push_back(0);
                out.push_back(static_cast<std::uint8_t>(c));
            }
            out.push_back(0);
            out.push_back(0);
            return;
        }
        case HeaderSet::TYPE: {
            const Bytes latin1 = toLatin1(valueAs<std::string>(value));
            putLength(out, latin1.size() + 4);
            out.insert(out.end(), latin1.begin(), latin1.end());
            out.push_back(0);
            return;
        }
        case HeaderSet::COUNT:
        case HeaderSet::LENGTH: {
            const auto number = static_cast<std::uint32_t>(valueAs<std::int64_t>(value));
            for (int shift = 24; shift >= 0; shift -= 8) {
                out.push_back(static_cast<std::uint8_t>(number >> shift));
            }
            return;
        }
        default: {
            const Bytes& bytes = valueAs<Bytes>(value);
            putLength(out, bytes.size() + 3);
            out.insert(out.end(), bytes.begin(), bytes.end());
            return;
        }
    }
}

// Reads the header at p into headers; the number of bytes it takes, or nothing when it does
// not fit in the packet.
std::optional<std::size_t> readHeader(std::span<const std::uint8_t> packet, std::size_t p,
                                      std::size_t length, HeaderSetImpl& headers) {
    const int id = packet[p];
    if (id == HeaderSet::COUNT || id == HeaderSet::LENGTH || id == HeaderSet::CONNECTION_ID) {
        if (p + 5 > packet.size()) {
            return std::nullopt;
        }
        const std::int64_t value = (std::int64_t{packet[p + 1]} << 24) |
                                   (std::int64_t{packet[p + 2]} << 16) |
                                   (std::int64_t{packet[p + 3]} << 8) | packet[p + 4];
        headers.setHeader(id, value);
        return 5;
    }
    if (length < 3 || p + length > packet.size()) {
        return std::nullopt;
    }
    const auto content = packet.subspan(p + 3, length - 3);
    switch (id) {
        case HeaderSet::NAME:
        case HeaderSet::DESCRIPTION: {
            std::string text;
            const std::size_t units = length >= 5 ? (length - 5) / 2 : 0;
            for (std::size_t unit = 0; unit < units && 2 * unit + 1 < content.size(); ++unit) {
                text.push_back(static_cast<char>(content[2 * unit + 1]));
            }
            headers.setHeader(id, std::move(text));
            break;
        }
        case HeaderSet::TYPE: {
            const bool terminated = !content.empty() && content.back() == 0;
            headers.setHeader(id,
                              fromLatin1(terminated ? content.first(content.size() - 1) : content));
            break;
        }
        default:
            if (!content.empty()) {
                headers.setHeader(id, Bytes(content.begin(), content.end()));
            }
            break;
    }
    return length;
}

}  // namespace

Bytes toLatin1(const std::string& utf8) {
    Bytes latin1;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<std::uint8_t>(utf8[i]);
        if (lead < 0x80) {
            latin1.push_back(lead);
            ++i;
        } else if ((lead & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
            const unsigned code =
                ((lead & 0x1Fu) << 6) | (static_cast<std::uint8_t>(utf8[i + 1]) & 0x3Fu);
            latin1.push_back(code <= 0xFF ? static_cast<std::uint8_t>(code) : '?');
            i += 2;
        } else {
            latin1.push_back('?');
            ++i;
            while (i < utf8.size() && (static_cast<std::uint8_t>(utf8[i]) & 0xC0) == 0x80) {
                ++i;
            }
        }
    }
    return latin1;
}

std::string fromLatin1(std::span<const std::uint8_t> latin1) {
    std::string utf8;
    for (const std::uint8_t byte : latin1) {
        if (byte < 0x80) {
            utf8.push_back(static_cast<char>(byte));
        } else {
            utf8.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return utf8;
}

Bytes hsToByteArray(const HeaderSet* headers) {
    Bytes out;
    if (headers == nullptr) {
        return out;
    }
    std::optional<int> body;
    for (const int id : headers->getHeaderList()) {
        if (id == HeaderSet::BODY || id == HeaderSet::END_OF_BODY) {
            body = id;
        } else if (id != HeaderSet::CONNECTION_ID) {
            if (const auto value = headers->getHeader(id)) {
                writeHeader(out, id, *value);
            }
        }
    }
    if (body) {
        if (const auto value = headers->getHeader(*body)) {
            writeHeader(out, *body, *value);
        }
    }
    return out;
}

HeaderSetImpl parseHeaders(std::size_t offset, std::span<const std::uint8_t> packet) {
    HeaderSetImpl headers;
    std::size_t p = offset;
    while (p < packet.size()) {
        const std::size_t length =
            p + 2 < packet.size() ? std::size_t{packet[p + 1]} * 256 + packet[p + 2] : 0;
        const std::optional<std::size_t> taken = readHeader(packet, p, length, headers);
        if (taken) {
            p += *taken;
            continue;
        }
        bluetooth::printLine(std::to_string(length) + " " + std::to_string(p) + " " +
                             std::to_string(packet.size()));
        // A length below 3 would never move on; a header past the end leaves nothing to read.
        if (length < 3) {
            break;
        }
        p += length;
    }
    return headers;
}

}  // namespace flarecast::obex
