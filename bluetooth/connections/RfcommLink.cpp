#include "bluetooth/connections/RfcommLink.h"

#include "bluetooth/io/Errors.h"
#include "bluetooth/native/BluetoothPeer.h"

namespace flarecast::bluetooth {

int RfcommLink::heldSocket() {
    const std::lock_guard guard(lock);
    if (released) {
        throw IOError();
    }
    // The stack never reuses a handle, so a release that overtakes this call makes it fail
    // rather than reach another connection.
    return socket;
}

int RfcommLink::recv() {
    return peer.recv(heldSocket());
}

int RfcommLink::recv(std::span<std::uint8_t> buffer) {
    return peer.recv(heldSocket(), buffer);
}

void RfcommLink::send(int byte) {
    peer.send(heldSocket(), byte);
}

void RfcommLink::send(std::span<const std::uint8_t> bytes) {
    peer.send(heldSocket(), bytes);
}

void RfcommLink::streamOpened() {
    const std::lock_guard guard(lock);
    ++openStreams;
}

void RfcommLink::streamClosed() {
    std::unique_lock guard(lock);
    --openStreams;
    releaseWhenUnused(guard);
}

void RfcommLink::connectionClosed() {
    std::unique_lock guard(lock);
    connectionOpen = false;
    releaseWhenUnused(guard);
}

void RfcommLink::release() {
    {
        const std::lock_guard guard(lock);
        connectionOpen = false;
        if (released) {
            return;
        }
        released = true;
    }
    peer.close(socket);
}

void RfcommLink::releaseWhenUnused(std::unique_lock<std::mutex>& guard) {
    if (released || connectionOpen || openStreams > 0) {
        return;
    }
    released = true;
    guard.unlock();
    // Wakes a thread blocked on the socket.
    peer.close(socket);
}

}  // namespace flarecast::bluetooth
