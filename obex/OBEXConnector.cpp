#include "obex/OBEXConnector.h"

#include "bluetooth/connections/Connector.h"
#include "bluetooth/io/Errors.h"
#include "obex/session/OBEXConnection.h"

namespace flarecast::obex {

std::unique_ptr<ClientSession> OBEXConnector::open(const std::string& url) {
    if (!url.starts_with("btgoep://")) {
        throw bluetooth::IOError("Only OBEX Connections supported");
    }
    const std::string rfcomm = "btspp" + url.substr(6);
    if (rfcomm.starts_with("btspp://localhost")) {
        throw bluetooth::ConnectionNotFoundException("OBEX servers are not supported yet");
    }
    return std::make_unique<OBEXConnection>(bluetooth::Connector::openStream(rfcomm));
}

}  // namespace flarecast::obex
