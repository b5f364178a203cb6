#pragma once

#include <memory>

#include "bluetooth/connections/Connection.h"
#include "obex/auth/Authenticator.h"
#include "obex/headers/HeaderSetImpl.h"
#include "obex/operations/Operation.h"

namespace flarecast::obex {

// An OBEX client session. Header sets passed in may be absent; connect may add an
// AUTH_RESPONSE to the caller's set when the peer challenges.
class ClientSession : public bluetooth::Connection {
public:
    virtual HeaderSetImpl connect(HeaderSet* headers) = 0;
    virtual HeaderSetImpl disconnect(HeaderSet* headers) = 0;
    virtual HeaderSetImpl setPath(HeaderSet* headers, bool backup, bool create) = 0;
    // "delete" of the OBEX standard.
    virtual HeaderSetImpl deleteObject(HeaderSet* headers) = 0;
    virtual std::unique_ptr<Operation> put(HeaderSet* headers) = 0;
    virtual std::unique_ptr<Operation> get(HeaderSet* headers) = 0;
    virtual HeaderSetImpl createHeaderSet() const { return {}; }
    virtual void setConnectionID(std::int64_t id) = 0;
    virtual std::int64_t getConnectionID() const = 0;
    virtual void setAuthenticator(Authenticator* authenticator) = 0;
    virtual Authenticator* getAuthenticator() const = 0;
    // Closes the streams and the connection.
    void close() override = 0;
};

}  // namespace flarecast::obex
