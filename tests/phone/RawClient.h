#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "obex/headers/HeaderCodec.h"
#include "obex/headers/HeaderSetImpl.h"

namespace flarecast::obex::testing {

// An OBEX client of single packets over TCP, for what our own client never does: stop in the
// middle of an object, fall silent or drop the link. Every wait for the phone has a bound.
class RawClient {
public:
    static constexpr std::chrono::seconds kBound{30};

    explicit RawClient(std::uint16_t port) : fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd >= 0 &&
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            drop();
        }
    }
    ~RawClient() { drop(); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    // The response code to the packet; -1 when the connection ended without one.
    int exchange(const Bytes& packet) {
        if (fd < 0 || ::send(fd, packet.data(), packet.size(), MSG_NOSIGNAL) !=
                          static_cast<ssize_t>(packet.size())) {
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
        return fd >= 0 && receive(&byte, 1) == Got::End;
    }

    // Drops the link without a word.
    void drop() {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }

private:
    enum class Got { All, End, Nothing };

    // All, or how the wait for the rest ended: the connection ended, or the bound passed.
    Got receive(std::uint8_t* into, std::size_t size) {
        const auto deadline = std::chrono::steady_clock::now() + kBound;
        while (size > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd ready{fd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) != 1) {
                return Got::Nothing;
            }
            const ssize_t count = ::recv(fd, into, size, 0);
            if (count <= 0) {
                return Got::End;
            }
            into += count;
            size -= static_cast<std::size_t>(count);
        }
        return Got::All;
    }

    int fd;
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
