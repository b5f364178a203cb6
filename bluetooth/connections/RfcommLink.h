#pragma once

#include <mutex>
#include <span>

#include "bluetooth/io/Streams.h"

namespace flarecast::bluetooth {

class BluetoothPeer;

// The socket of one RFCOMM connection, shared by the connection and its streams, so that a
// stream may be used or closed on one thread while the connection goes away on another. The
// socket is released once: when the connection and every open stream are closed, or when the
// connection is destroyed.
class RfcommLink {
public:
    RfcommLink(BluetoothPeer& peer, int socket) : peer(peer), socket(socket) {}
    RfcommLink(const RfcommLink&) = delete;
    RfcommLink& operator=(const RfcommLink&) = delete;

    // I/O errors once the socket is released.
    int recv();
    int recv(std::span<std::uint8_t> buffer);
    void send(int byte);
    void send(std::span<const std::uint8_t> bytes);

    void streamOpened();
    void streamClosed();
    void connectionClosed();
    // The connection is destroyed: the socket goes now, whatever is still open.
    void release();

private:
    // The handle while the socket is held; an I/O error after it was released.
    int heldSocket();
    void releaseWhenUnused(std::unique_lock<std::mutex>& guard);

    BluetoothPeer& peer;
    const int socket;
    std::mutex lock;
    int openStreams = 0;
    bool connectionOpen = true;
    bool released = false;
};

}  // namespace flarecast::bluetooth
