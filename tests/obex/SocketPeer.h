#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <optional>
#include <utility>

#include "bluetooth/connections/Connection.h"
#include "bluetooth/io/Errors.h"

namespace flarecast::obex::testing {

using bluetooth::Bytes;

// One socket descriptor, closed with its last owner.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd(fd) {}
    ~Descriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd; }

private:
    const int fd;
};

// A server's end of a local socket pair, as a stream connection: closing it shuts the socket
// down, and the descriptor goes with the connection and its streams.
class SocketConnection final : public bluetooth::StreamConnection {
public:
    explicit SocketConnection(std::shared_ptr<Descriptor> socket)
        : in(std::make_shared<Input>(socket)), out(std::make_shared<Output>(socket)) {}
    std::shared_ptr<bluetooth::InputStream> openInputStream() override { return in; }
    std::shared_ptr<bluetooth::OutputStream> openOutputStream() override { return out; }
    void close() override { ::shutdown(in->socket->get(), SHUT_RDWR); }

private:
    struct Input final : bluetooth::InputStream {
        explicit Input(std::shared_ptr<Descriptor> socket) : socket(std::move(socket)) {}
        using InputStream::read;
        int read() override {
            std::uint8_t byte = 0;
            return read(std::span(&byte, 1)) < 0 ? -1 : byte;
        }
        int read(std::span<std::uint8_t> buffer) override {
            const ssize_t count = ::recv(socket->get(), buffer.data(), buffer.size(), 0);
            return count <= 0 ? -1 : static_cast<int>(count);
        }
        const std::shared_ptr<Descriptor> socket;
    };
    struct Output final : bluetooth::OutputStream {
        explicit Output(std::shared_ptr<Descriptor> socket) : socket(std::move(socket)) {}
        using OutputStream::write;
        void write(int byte) override {
            const auto low = static_cast<std::uint8_t>(byte);
            write(std::span(&low, 1));
        }
        void write(std::span<const std::uint8_t> bytes) override {
            for (std::size_t sent = 0; sent < bytes.size();) {
                const ssize_t count =
                    ::send(socket->get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
                if (count <= 0) {
                    throw bluetooth::IOError("send failed");
                }
                sent += static_cast<std::size_t>(count);
            }
        }
        const std::shared_ptr<Descriptor> socket;
    };

    const std::shared_ptr<Input> in;
    const std::shared_ptr<Output> out;
};

// The client's end: raw bytes out, packets in, each wait bounded.
class RawClient {
public:
    explicit RawClient(int fd) : socket(fd) {}

    // A connected pair: this client and the server's connection.
    static std::pair<std::unique_ptr<RawClient>, std::unique_ptr<SocketConnection>> pair() {
        int fds[2] = {-1, -1};
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
            throw bluetooth::IOError("socketpair failed");
        }
        return {std::make_unique<RawClient>(fds[0]),
                std::make_unique<SocketConnection>(std::make_shared<Descriptor>(fds[1]))};
    }

    void send(const Bytes& bytes) const {
        ::send(socket.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    // The next whole packet; nothing when the connection ends or bound passes first.
    std::optional<Bytes> packet(std::chrono::milliseconds bound = std::chrono::seconds(30)) {
        const auto deadline = std::chrono::steady_clock::now() + bound;
        while (true) {
            if (received.size() >= 3) {
                const std::size_t length = std::size_t{received[1]} * 256 + received[2];
                if (length >= 3 && received.size() >= length) {
                    Bytes whole(received.begin(), received.begin() + length);
                    received.erase(received.begin(), received.begin() + length);
                    return whole;
                }
            }
            if (!receiveMore(deadline)) {
                return std::nullopt;
            }
        }
    }
    // Whether the server closed the connection within bound; what it sent before is dropped.
    bool closedWithin(std::chrono::milliseconds bound = std::chrono::seconds(30)) {
        const auto deadline = std::chrono::steady_clock::now() + bound;
        while (receiveMore(deadline)) {
        }
        return ended;
    }

private:
    // False at the end of the stream or the deadline.
    bool receiveMore(std::chrono::steady_clock::time_point deadline) {
        if (ended) {
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready{socket.get(), POLLIN, 0};
        if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
            return false;
        }
        std::uint8_t buffer[4096];
        const ssize_t count = ::recv(socket.get(), buffer, sizeof buffer, 0);
        if (count <= 0) {
            ended = count == 0 || errno != EINTR;
            return !ended;
        }
        received.insert(received.end(), buffer, buffer + count);
        return true;
    }

    Descriptor socket;
    Bytes received;
    bool ended = false;
};

}  // namespace flarecast::obex::testing
