#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "obex/headers/HeaderCodec.h"
#include "obex/headers/HeaderSetImpl.h"
#include "tests/common/LoopbackClient.h"

namespace flarecast::obex::testing {

// An OBEX client of single packets over TCP, for what our own client never does: stop in the
// middle of an object, fall silent or drop the link. Every wait for the phone has a bound.
class RawClient {
public:
    static constexpr std::chrono::seconds kBound{30};

    explicit RawClient(std::uint16_t port) : link(port) {}

    // The response code to the packet; -1 when the connection ended without one.
    int exchange(const Bytes& packet) {
        if (!link.send(packet)) {
            return -1;
        }
        std::uint8_t head[3];
        if (receive(head, sizeof head) != Got::All) {
            return -1;
        }
        const std::size_t length = head[1] * 256U + head[2];
        Bytes rest(length > 3 ? length - 3 : 0);
        return receive(rest.data(), rest.size()) == Got::All ? head[0] : -1;
    }

    // Whether the phone ends the connection, unasked and without a word, within the bound.
    bool closedByPhone() {
        std::uint8_t byte = 0;
        return link.connected() && receive(&byte, 1) == Got::End;
    }

    // Drops the link without a word.
    void drop() { link.drop(); }

private:
    enum class Got { All, End, Nothing };

    // All, or how the wait for the rest ended: the connection ended, or the bound passed.
    Got receive(std::uint8_t* into, std::size_t size) {
        const auto deadline = std::chrono::steady_clock::now() + kBound;
        while (size > 0) {
            const auto count = link.receive(std::span(into, size), deadline);
            if (!count) {
                return Got::Nothing;
            }
            if (*count == 0) {
                return Got::End;
            }
            into += *count;
            size -= *count;
        }
        return Got::All;
    }

    flarecast::testing::LoopbackClient link;
};

inline Bytes packet(std::uint8_t code, const Bytes& data) {
    const std::size_t length = data.size() + 3;
    Bytes bytes = {code, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
}

// CONNECT, OBEX 1.0, taking packets of up to 8192 bytes.
inline Bytes connectPacket() {
    return packet(0x80, {0x10, 0x00, 0x20, 0x00});
}

inline Bytes abortPacket() {
    return packet(0xFF, {});
}

inline Bytes disconnectPacket() {
    return packet(0x81, {});
}

// A PUT packet; NAME and LENGTH when given, then size body bytes.
inline Bytes putPacket(bool final, std::size_t size, std::optional<std::string> name = std::nullopt,
                       std::optional<std::int64_t> length = std::nullopt) {
    HeaderSetImpl headers;
    if (name) {
        headers.setHeader(HeaderSet::NAME, *name);
    }
    if (length) {
        headers.setHeader(HeaderSet::LENGTH, *length);
    }
    headers.setHeader(final ? HeaderSet::END_OF_BODY : HeaderSet::BODY, Bytes(size, 'x'));
    return packet(final ? 0x82 : 0x02, hsToByteArray(&headers));
}

}  // namespace flarecast::obex::testing
