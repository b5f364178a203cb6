#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>

#if defined(_WIN32)
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
// clang-format on
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace flarecast::testing {

// A TCP client of a loopback port on the system's own sockets, for what our TcpSocket never
// does: wait for bytes with a bound, and drop the link in the middle of a packet.
class LoopbackClient {
public:
    explicit LoopbackClient(std::uint16_t port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
#if defined(_WIN32)
        WSADATA data{};
        if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) {
            return;
        }
        // Not inherited: a child process holding it would keep the connection up.
        socket = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                              WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
        if (socket == kNone) {
            ::WSACleanup();
            return;
        }
#else
        socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (socket == kNone) {
            return;
        }
#endif
        if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            drop();
        }
    }
    ~LoopbackClient() {
        drop();
    }
    LoopbackClient(const LoopbackClient&) = delete;
    LoopbackClient& operator=(const LoopbackClient&) = delete;

    bool connected() const {
        return socket != kNone;
    }

    // Whether every byte went out.
    bool send(std::span<const std::uint8_t> bytes) const {
        while (connected() && !bytes.empty()) {
            const auto count = ::send(socket, reinterpret_cast<const char*>(bytes.data()),
                                      static_cast<int>(bytes.size()), kNoSignal);
            if (count <= 0) {
                return false;
            }
            bytes = bytes.subspan(static_cast<std::size_t>(count));
        }
        return connected();
    }

    // What came within the bound, read into buffer: the count, 0 when the connection ended,
    // nothing when the deadline passed first.
    std::optional<std::size_t> receive(std::span<std::uint8_t> buffer,
                                       std::chrono::steady_clock::time_point deadline) const {
        if (!connected()) {
            return 0;
        }
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return std::nullopt;
            }
            pollfd ready{socket, POLLIN, 0};
#if defined(_WIN32)
            const int polled = ::WSAPoll(&ready, 1, static_cast<int>(left.count()));
#else
            const int polled = ::poll(&ready, 1, static_cast<int>(left.count()));
            if (polled < 0 && errno == EINTR) {
                continue;
            }
#endif
            if (polled == 0) {
                return std::nullopt;
            }
            if (polled < 0) {
                return 0;
            }
            const auto count = ::recv(socket, reinterpret_cast<char*>(buffer.data()),
                                      static_cast<int>(buffer.size()), 0);
#if !defined(_WIN32)
            if (count < 0 && errno == EINTR) {
                continue;
            }
#endif
            return count <= 0 ? 0 : static_cast<std::size_t>(count);
        }
    }

    // Closes the connection without a word.
    void drop() {
        if (socket == kNone) {
            return;
        }
#if defined(_WIN32)
        ::closesocket(socket);
        ::WSACleanup();
#else
        ::close(socket);
#endif
        socket = kNone;
    }

private:
#if defined(_WIN32)
    using Socket = SOCKET;
    static constexpr Socket kNone = INVALID_SOCKET;
    // Windows raises no signal on a write to a closed connection.
    static constexpr int kNoSignal = 0;
#else
    using Socket = int;
    static constexpr Socket kNone = -1;
    static constexpr int kNoSignal = MSG_NOSIGNAL;
#endif
    Socket socket = kNone;
};

}  // namespace flarecast::testing
