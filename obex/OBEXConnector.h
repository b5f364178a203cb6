#pragma once

#include <memory>
#include <string>

#include "bluetooth/connections/Connection.h"
#include "obex/server/SessionNotifierImpl.h"
#include "obex/session/ClientSession.h"

namespace flarecast::obex {

// Opens OBEX connections by URL: btgoep:// is the btspp:// URL of the same RFCOMM endpoint.
class OBEXConnector {
public:
    // A client session on a remote channel (nothing is sent until the caller connects), or for
    // btgoep://localhost: an OBEX server on a local channel, its service record one of OBEX
    // Object Push.
    static std::unique_ptr<bluetooth::Connection> open(const std::string& url);
    // open, for a URL that must name a remote channel; a type error otherwise.
    static std::unique_ptr<ClientSession> openSession(const std::string& url);
    // open, for a URL that must name a local server; a type error otherwise.
    static std::unique_ptr<SessionNotifierImpl> openNotifier(const std::string& url);
};

}  // namespace flarecast::obex
