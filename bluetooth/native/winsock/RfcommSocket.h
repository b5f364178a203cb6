#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace flarecast::bluetooth::winsock {

// One Winsock RFCOMM socket (AF_BTH), closed by its destructor; Winsock must be started while it
// lives. Every wait in it races the socket's stop event, so shutdown() ends blocked and later
// calls of other threads with an I/O error.
class RfcommSocket {
public:
    RfcommSocket(bool authenticate, bool encrypt);
    // Takes over a socket that accept returned, connected to the device at peer.
    RfcommSocket(std::uintptr_t accepted, std::int64_t peer);
    ~RfcommSocket();
    RfcommSocket(const RfcommSocket&) = delete;
    RfcommSocket& operator=(const RfcommSocket&) = delete;

    // Fails after limit if the device never answers.
    void connect(std::int64_t address, int channel, std::chrono::milliseconds limit);
    // Listens on the first free channel.
    void listen();
    int channel() const;
    std::unique_ptr<RfcommSocket> accept();
    // The device at the other end of an accepted socket.
    std::optional<std::int64_t> remoteAddress() const { return peer; }

    // The count read, 0 at the end of the stream.
    std::size_t receive(std::span<std::uint8_t> buffer);
    void sendAll(std::span<const std::uint8_t> bytes);
    void shutdown();

private:
    void failIfClosed() const;
    // Until the connect started on the socket ends: its error, 0 when connected.
    int waitConnected(void* ready, std::chrono::steady_clock::time_point deadline);

    // A SOCKET, and the event that shutdown() sets.
    std::uintptr_t handle = ~std::uintptr_t{0};
    void* stopped = nullptr;
    std::optional<std::int64_t> peer;
    std::atomic<bool> closed{false};
};

}  // namespace flarecast::bluetooth::winsock
