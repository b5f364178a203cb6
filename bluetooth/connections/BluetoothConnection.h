#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "bluetooth/connections/Connection.h"
#include "bluetooth/connections/RfcommLink.h"

namespace flarecast::bluetooth {

class BluetoothPeer;

// The input stream of an RFCOMM connection; it keeps the socket held until it is closed.
class BluetoothInputStream final : public InputStream {
public:
    explicit BluetoothInputStream(std::shared_ptr<RfcommLink> link);
    using InputStream::read;
    int read() override;
    int read(std::span<std::uint8_t> buffer) override;
    void close() override;
    bool isClosed() const { return closed; }

private:
    const std::shared_ptr<RfcommLink> link;
    std::atomic<bool> closed{false};
};

// The output stream of an RFCOMM connection; it keeps the socket held until it is closed.
class BluetoothOutputStream final : public OutputStream {
public:
    explicit BluetoothOutputStream(std::shared_ptr<RfcommLink> link);
    using OutputStream::write;
    void write(int byte) override;
    void write(std::span<const std::uint8_t> bytes) override;
    void close() override;
    bool isClosed() const { return closed; }

private:
    const std::shared_ptr<RfcommLink> link;
    std::atomic<bool> closed{false};
};

// A stream connection over one RFCOMM socket. The socket is released once, when the connection
// and every stream opened from it are closed, or when the connection is destroyed; streams that
// outlive it fail from then on.
class BluetoothConnection final : public StreamConnection {
public:
    // A client connection: opens a socket and connects it to the channel of the device. A
    // device that does not take the connection is a ConnectionNotFoundException.
    BluetoothConnection(std::int64_t address, int channel, bool authenticate, bool encrypt,
                        int adapter = 0);
    // A connection on a socket that a server accepted.
    explicit BluetoothConnection(int acceptedSocket);
    ~BluetoothConnection() override;

    BluetoothConnection(const BluetoothConnection&) = delete;
    BluetoothConnection& operator=(const BluetoothConnection&) = delete;

    std::shared_ptr<InputStream> openInputStream() override;
    std::shared_ptr<OutputStream> openOutputStream() override;
    void close() override;

    // The remote device's address.
    std::int64_t getAddress() const { return address; }

private:
    std::int64_t address = 0;
    std::shared_ptr<RfcommLink> link;
    std::mutex lock;
    std::shared_ptr<BluetoothInputStream> in;
    std::shared_ptr<BluetoothOutputStream> out;
    bool closed = false;
};

}  // namespace flarecast::bluetooth
