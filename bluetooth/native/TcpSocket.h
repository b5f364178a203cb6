#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace flarecast::bluetooth {

// One TCP socket, closed by its destructor. Failures are I/O errors with the system's text.
class TcpSocket {
public:
    TcpSocket() = default;
    ~TcpSocket();
    TcpSocket(TcpSocket&& other) noexcept;
    TcpSocket& operator=(TcpSocket&& other) noexcept;
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    static TcpSocket connectTo(const std::string& host, std::uint16_t port);
    // Listens on host:port; port 0 takes a free one.
    static TcpSocket listenOn(const std::string& host, std::uint16_t port);

    TcpSocket accept();
    // The count read, 0 at the end of the stream.
    std::size_t receive(std::span<std::uint8_t> buffer);
    void sendAll(std::span<const std::uint8_t> bytes);
    // Ends blocked and later reads, writes and accepts on this socket; the descriptor stays
    // until destruction, so another thread still using it never reaches a reused one.
    void shutdown();
    std::uint16_t localPort() const;
    bool isOpen() const;

private:
#if defined(_WIN32)
    // A SOCKET, and the event that shutdown() sets to end the waits on it: Winsock's own
    // shutdown does not wake a blocked accept or receive.
    using Handle = std::uintptr_t;
    static constexpr Handle kNoHandle = ~Handle{0};
    TcpSocket(Handle handle, void* stopped) : handle(handle), stopped(stopped) {}

    Handle handle = kNoHandle;
    void* stopped = nullptr;
#else
    explicit TcpSocket(int fd) : fd(fd) {}

    int fd = -1;
#endif
};

}  // namespace flarecast::bluetooth
