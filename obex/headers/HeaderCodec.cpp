#include "obex/headers/HeaderCodec.h"

#include <optional>
#include <string>

#include "bluetooth/io/Console.h"
#include "bluetooth/io/Errors.h"
#include "obex/headers/TextEncoding.h"

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
            const Bytes units = toUtf16BE(valueAs<std::string>(value));
            putLength(out, units.size() + 5);
            out.insert(out.end(), units.begin(), units.end());
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
        case HeaderSet::DESCRIPTION:
            // Some peers leave out the terminating null; the text ends at either.
            headers.setHeader(id, fromUtf16BE(content));
            break;
        case HeaderSet::TYPE: {
            const bool terminated = !content.empty() && content.back() == 0;
            headers.setHeader(id,
                              fromLatin1(terminated ? content.first(content.size() - 1) : content));
            break;
        }
        default:
            // An empty body still says where an object ends.
            if (!content.empty() || id == HeaderSet::BODY || id == HeaderSet::END_OF_BODY) {
                headers.setHeader(id, Bytes(content.begin(), content.end()));
            }
            break;
    }
    return length;
}

}  // namespace

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
