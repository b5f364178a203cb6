#include "bluetooth/connections/BluetoothConnection.h"

#include "bluetooth/discovery/LocalDevice.h"
#include "bluetooth/io/Errors.h"

namespace flarecast::bluetooth {

BluetoothInputStream::BluetoothInputStream(std::shared_ptr<RfcommLink> link)
    : link(std::move(link)) {
    this->link->streamOpened();
}

int BluetoothInputStream::read() {
    if (closed) {
        throw IOError();
    }
    return link->recv();
}

int BluetoothInputStream::read(std::span<std::uint8_t> buffer) {
    if (closed) {
        throw IOError();
    }
    return link->recv(buffer);
}

void BluetoothInputStream::close() {
    if (!closed.exchange(true)) {
        link->streamClosed();
    }
}

BluetoothOutputStream::BluetoothOutputStream(std::shared_ptr<RfcommLink> link)
    : link(std::move(link)) {
    this->link->streamOpened();
}

void BluetoothOutputStream::write(int byte) {
    if (closed) {
        throw IOError();
    }
    link->send(byte);
}

void BluetoothOutputStream::write(std::span<const std::uint8_t> bytes) {
    if (closed) {
        throw IOError();
    }
    link->send(bytes);
}

void BluetoothOutputStream::close() {
    if (!closed.exchange(true)) {
        link->streamClosed();
    }
}

namespace {

int connectedSocket(BluetoothPeer& peer, std::int64_t address, int channel, bool authenticate,
                    bool encrypt, int adapter) {
    const int socket = peer.socket(authenticate, encrypt);
    try {
        try {
            peer.connect(socket, address, channel, adapter);
        } catch (const BluetoothStateException&) {
            throw;
        } catch (const ConnectionNotFoundException&) {
            throw;
        } catch (const IOError& error) {
            // Out of reach, or refusing the channel or the pairing: one kind, whatever the stack
            // called it, apart from a connection that breaks once made.
            throw ConnectionNotFoundException(error.getMessage());
        }
    } catch (...) {
        // A connection that never came to be must not keep its socket.
        peer.close(socket);
        throw;
    }
    return socket;
}

std::int64_t remoteAddress(BluetoothPeer& peer, int acceptedSocket) {
    try {
        return peer.getsockaddress(acceptedSocket);
    } catch (...) {
        peer.close(acceptedSocket);
        throw;
    }
}

}  // namespace

BluetoothConnection::BluetoothConnection(std::int64_t address, int channel, bool authenticate,
                                         bool encrypt, int adapter)
    : address(address) {
    BluetoothPeer& peer = LocalDevice::getLocalDevice().getBluetoothPeer();
    link = std::make_shared<RfcommLink>(
        peer, connectedSocket(peer, address, channel, authenticate, encrypt, adapter));
}

BluetoothConnection::BluetoothConnection(int acceptedSocket) {
    BluetoothPeer& peer = LocalDevice::getLocalDevice().getBluetoothPeer();
    address = remoteAddress(peer, acceptedSocket);
    link = std::make_shared<RfcommLink>(peer, acceptedSocket);
}

BluetoothConnection::~BluetoothConnection() {
    try {
        link->release();
    } catch (const Error&) {
    }
}

std::shared_ptr<InputStream> BluetoothConnection::openInputStream() {
    const std::lock_guard guard(lock);
    if (closed) {
        throw IOError();
    }
    if (!in || in->isClosed()) {
        in = std::make_shared<BluetoothInputStream>(link);
    }
    return in;
}

std::shared_ptr<OutputStream> BluetoothConnection::openOutputStream() {
    const std::lock_guard guard(lock);
    if (closed) {
        throw IOError();
    }
    if (!out || out->isClosed()) {
        out = std::make_shared<BluetoothOutputStream>(link);
    }
    return out;
}

void BluetoothConnection::close() {
    {
        const std::lock_guard guard(lock);
        closed = true;
    }
    link->connectionClosed();
}

}  // namespace flarecast::bluetooth
