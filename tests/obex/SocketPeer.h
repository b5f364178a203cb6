#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <utility>

#include "bluetooth/connections/Connection.h"
#include "bluetooth/io/Errors.h"
#include "bluetooth/native/TcpSocket.h"
#include "tests/common/LoopbackClient.h"

namespace flarecast::obex::testing {

using bluetooth::Bytes;
using bluetooth::TcpSocket;

// A server's end of a loopback connection, as a stream connection: closing it shuts the socket
// down, and the socket goes with the connection and its streams.
class SocketConnection final : public bluetooth::StreamConnection {
public:
    explicit SocketConnection(std::shared_ptr<TcpSocket> socket)
        : in(std::make_shared<Input>(socket)), out(std::make_shared<Output>(socket)) {}
    std::shared_ptr<bluetooth::InputStream> openInputStream() override { return in; }
    std::shared_ptr<bluetooth::OutputStream> openOutputStream() override { return out; }
    void close() override { in->socket->shutdown(); }

private:
    struct Input final : bluetooth::InputStream {
        explicit Input(std::shared_ptr<TcpSocket> socket) : socket(std::move(socket)) {}
        using InputStream::read;
        int read() override {
            std::uint8_t byte = 0;
            return read(std::span(&byte, 1)) < 0 ? -1 : byte;
        }
        int read(std::span<std::uint8_t> buffer) override {
            try {
                const std::size_t count = socket->receive(buffer);
                return count == 0 ? -1 : static_cast<int>(count);
            } catch (const bluetooth::IOError&) {
                return -1;
            }
        }
        const std::shared_ptr<TcpSocket> socket;
    };
    struct Output final : bluetooth::OutputStream {
        explicit Output(std::shared_ptr<TcpSocket> socket) : socket(std::move(socket)) {}
        using OutputStream::write;
        void write(int byte) override {
            const auto low = static_cast<std::uint8_t>(byte);
            write(std::span(&low, 1));
        }
        void write(std::span<const std::uint8_t> bytes) override { socket->sendAll(bytes); }
        const std::shared_ptr<TcpSocket> socket;
    };

    const std::shared_ptr<Input> in;
    const std::shared_ptr<Output> out;
};

// The client's end: raw bytes out, packets in, each wait bounded.
class RawClient {
public:
    explicit RawClient(std::uint16_t port) : link(port) {}

    // A connected pair: this client and the server's connection.
    static std::pair<std::unique_ptr<RawClient>, std::unique_ptr<SocketConnection>> pair() {
        TcpSocket listening = TcpSocket::listenOn("127.0.0.1", 0);
        auto client = std::make_unique<RawClient>(listening.localPort());
        if (!client->link.connected()) {
            throw bluetooth::IOError("cannot connect to the loopback listener");
        }
        return {std::move(client), std::make_unique<SocketConnection>(
                                       std::make_shared<TcpSocket>(listening.accept()))};
    }

    void send(const Bytes& bytes) const { link.send(bytes); }
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
        std::uint8_t buffer[4096];
        const auto count = link.receive(buffer, deadline);
        if (!count) {
            return false;
        }
        if (*count == 0) {
            ended = true;
            return false;
        }
        received.insert(received.end(), buffer, buffer + *count);
        return true;
    }

    flarecast::testing::LoopbackClient link;
    Bytes received;
    bool ended = false;
};

}  // namespace flarecast::obex::testing
