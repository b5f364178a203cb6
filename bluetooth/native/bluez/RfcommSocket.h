#pragma once

#include <bluetooth/bluetooth.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <span>

namespace flarecast::bluetooth::bluez {

// One kernel RFCOMM socket, closed by its destructor. Every wait in it also watches a wake-up
// descriptor, so shutdown() ends blocked and later calls of other threads with an I/O error.
class RfcommSocket {
public:
    RfcommSocket(bool authenticate, bool encrypt);
    // Takes over a descriptor that accept returned.
    explicit RfcommSocket(int acceptedFd);
    ~RfcommSocket();
    RfcommSocket(const RfcommSocket&) = delete;
    RfcommSocket& operator=(const RfcommSocket&) = delete;

    // Connects from the adapter at local; fails after limit if the device never answers.
    void connect(const bdaddr_t& local, const bdaddr_t& remote, int channel,
                 std::chrono::milliseconds limit);
    // Listens on the adapter at local, on the first free channel.
    void listen(const bdaddr_t& local);
    int channel() const;
    std::unique_ptr<RfcommSocket> accept();
    // The device at the other end of a connected socket.
    std::int64_t remoteAddress() const;

    // The count read, 0 at the end of the stream.
    std::size_t receive(std::span<std::uint8_t> buffer);
    void sendAll(std::span<const std::uint8_t> bytes);
    void shutdown();

private:
    // One connect of the socket as it is; its error, 0 when connected.
    int attempt(const bdaddr_t& local, const bdaddr_t& remote, int channel,
                const std::chrono::steady_clock::time_point& deadline);
    // A fresh socket of the same security in place of one whose connect failed.
    void renew();
    // Waits until fd is ready for events, or the deadline (when given) passes; the events seen.
    short waitFor(short events, const std::chrono::steady_clock::time_point* deadline = nullptr);
    void failIfClosed() const;

    int fd = -1;
    int wake = -1;
    bt_security security{};
    std::atomic<bool> closed{false};
};

}  // namespace flarecast::bluetooth::bluez
