#include "bluetooth/connections/BluetoothConnection.h"

#include "bluetooth/discovery/LocalDevice.h"
#include "bluetooth/io/Errors.h"

namespace flarecast::bluetooth {

int BluetoothInputStream::read() {
    BluetoothConnection* const connection = conn;
    if (connection == nullptr) {
        throw IOError();
    }
    return connection->peer.recv(connection->socket);
}

int BluetoothInputStream::read(std::span<std::uint8_t> buffer) {
    BluetoothConnection* const connection = conn;
    if (connection == nullptr) {
        throw IOError();
    }
    return connection->peer.recv(connection->socket, buffer);
}

void BluetoothInputStream::close() {
    if (BluetoothConnection* const connection = conn.exchange(nullptr)) {
        connection->streamClosed(this);
    }
}

void BluetoothOutputStream::write(int byte) {
    BluetoothConnection* const connection = conn;
    if (connection == nullptr) {
        throw IOError();
    }
    connection->peer.send(connection->socket, byte);
}

void BluetoothOutputStream::write(std::span<const std::uint8_t> bytes) {
    BluetoothConnection* const connection = conn;
    if (connection == nullptr) {
        throw IOError();
    }
    connection->peer.send(connection->socket, bytes);
}

void BluetoothOutputStream::close() {
    if (BluetoothConnection* const connection = conn.exchange(nullptr)) {
        connection->streamClosed(this);
    }
}

BluetoothConnection::BluetoothConnection(std::int64_t address, int channel, bool authenticate,
                                         bool encrypt)
    : peer(LocalDevice::getLocalDevice().getBluetoothPeer()), address(address) {
    socket = peer.socket(authenticate, encrypt);
    try {
        peer.connect(socket, address, channel);
    } catch (...) {
        // A connection that never came to be must not keep its socket.
        peer.close(socket);
        throw;
    }
}

BluetoothConnection::BluetoothConnection(int acceptedSocket)
    : peer(LocalDevice::getLocalDevice().getBluetoothPeer()), socket(acceptedSocket) {
    try {
        address = peer.getsockaddress(acceptedSocket);
    } catch (...) {
        peer.close(acceptedSocket);
        throw;
    }
}

BluetoothConnection::~BluetoothConnection() {
    std::shared_ptr<BluetoothInputStream> input;
    std::shared_ptr<BluetoothOutputStream> output;
    {
        const std::lock_guard guard(lock);
        input = std::move(in);
        output = std::move(out);
        closed = true;
    }
    // Streams that outlive their connection fail from now on.
    if (input) {
        input->detach();
    }
    if (output) {
        output->detach();
    }
    const std::lock_guard guard(lock);
    if (!socketClosed) {
        socketClosed = true;
        try {
            peer.close(socket);
        } catch (const Error&) {
        }
    }
}

std::shared_ptr<InputStream> BluetoothConnection::openInputStream() {
    const std::lock_guard guard(lock);
    if (closed) {
        throw IOError();
    }
    if (!in) {
        in = std::make_shared<BluetoothInputStream>(*this);
    }
    return in;
}

std::shared_ptr<OutputStream> BluetoothConnection::openOutputStream() {
    const std::lock_guard guard(lock);
    if (closed) {
        throw IOError();
    }
    if (!out) {
        out = std::make_shared<BluetoothOutputStream>(*this);
    }
    return out;
}

void BluetoothConnection::close() {
    {
        const std::lock_guard guard(lock);
        closed = true;
    }
    closeSocket();
}

void BluetoothConnection::streamClosed(const InputStream* stream) {
    {
        const std::lock_guard guard(lock);
        if (in.get() == stream) {
            in.reset();
        }
    }
    closeSocket();
}

void BluetoothConnection::streamClosed(const OutputStream* stream) {
    {
        const std::lock_guard guard(lock);
        if (out.get() == stream) {
            out.reset();
        }
    }
    closeSocket();
}

void BluetoothConnection::closeSocket() {
    const std::lock_guard guard(lock);
    if (in || out || !closed || socketClosed) {
        return;
    }
    socketClosed = true;
    peer.close(socket);
}

}  // namespace flarecast::bluetooth
