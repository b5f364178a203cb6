#pragma once

#include <memory>
#include <string>

#include "obex/session/ClientSession.h"

namespace flarecast::obex {

// Opens OBEX sessions by URL: btgoep:// is the btspp:// URL of the same RFCOMM endpoint.
class OBEXConnector {
public:
    // A client session on the RFCOMM channel; nothing is sent until the caller connects.
    static std::unique_ptr<ClientSession> open(const std::string& url);
};

}  // namespace flarecast::obex
