#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "bluetooth/connections/Connection.h"
#include "bluetooth/native/TcpSocket.h"

namespace flarecast::obex {

// A stream connection over one TCP socket, for OBEX over TCP. close() ends every read and write
// on it at once; the descriptor goes with the last of the connection and its streams.
class TcpStreamConnection final : public bluetooth::StreamConnection {
public:
    // closed runs once, in the first close(), on the thread that closes.
    explicit TcpStreamConnection(bluetooth::TcpSocket socket, std::function<void()> closed = {});
    ~TcpStreamConnection() override;
    TcpStreamConnection(const TcpStreamConnection&) = delete;
    TcpStreamConnection& operator=(const TcpStreamConnection&) = delete;

    std::shared_ptr<bluetooth::InputStream> openInputStream() override;
    std::shared_ptr<bluetooth::OutputStream> openOutputStream() override;
    void close() override;

private:
    const std::shared_ptr<bluetooth::TcpSocket> socket;
    const std::function<void()> closed;
    std::atomic<bool> wasClosed{false};
};

}  // namespace flarecast::obex
