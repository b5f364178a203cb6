#include "obex/phone/TcpStreamConnection.h"

#include <atomic>

#include "bluetooth/io/Errors.h"

namespace flarecast::obex {

namespace {

using bluetooth::IOError;
using bluetooth::TcpSocket;

class TcpInputStream final : public bluetooth::InputStream {
public:
    explicit TcpInputStream(std::shared_ptr<TcpSocket> socket) : socket(std::move(socket)) {}
    using InputStream::read;
    int read() override {
        std::uint8_t byte = 0;
        return read(std::span(&byte, 1)) < 0 ? -1 : byte;
    }
    int read(std::span<std::uint8_t> buffer) override {
        if (closed) {
            throw IOError("Stream closed");
        }
        if (buffer.empty()) {
            return 0;
        }
        const std::size_t count = socket->receive(buffer);
        return count == 0 ? -1 : static_cast<int>(count);
    }
    void close() override { closed = true; }

private:
    const std::shared_ptr<TcpSocket> socket;
    std::atomic<bool> closed{false};
};

class TcpOutputStream final : public bluetooth::OutputStream {
public:
    explicit TcpOutputStream(std::shared_ptr<TcpSocket> socket) : socket(std::move(socket)) {}
    using OutputStream::write;
    void write(int byte) override {
        const auto low = static_cast<std::uint8_t>(byte);
        write(std::span(&low, 1));
    }
    void write(std::span<const std::uint8_t> bytes) override {
        if (closed) {
            throw IOError("Stream closed");
        }
        socket->sendAll(bytes);
    }
    void close() override { closed = true; }

private:
    const std::shared_ptr<TcpSocket> socket;
    std::atomic<bool> closed{false};
};

}  // namespace

TcpStreamConnection::TcpStreamConnection(TcpSocket socket, std::function<void()> closed)
    : socket(std::make_shared<TcpSocket>(std::move(socket))), closed(std::move(closed)) {}

TcpStreamConnection::~TcpStreamConnection() {
    close();
}

std::shared_ptr<bluetooth::InputStream> TcpStreamConnection::openInputStream() {
    return std::make_shared<TcpInputStream>(socket);
}

std::shared_ptr<bluetooth::OutputStream> TcpStreamConnection::openOutputStream() {
    return std::make_shared<TcpOutputStream>(socket);
}

void TcpStreamConnection::close() {
    socket->shutdown();
    if (!wasClosed.exchange(true) && closed) {
        closed();
    }
}

}  // namespace flarecast::obex
