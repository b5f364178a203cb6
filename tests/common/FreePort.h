#pragma once

#include <cstdint>

#include "bluetooth/native/TcpSocket.h"

namespace flarecast::testing {

// A loopback TCP port that was free a moment ago, for a server that a file must name in advance.
inline std::uint16_t freeLoopbackPort() {
    return bluetooth::TcpSocket::listenOn("127.0.0.1", 0).localPort();
}

}  // namespace flarecast::testing
