#pragma once

#include <chrono>
#include <memory>

#include "bluetooth/connections/Connection.h"
#include "bluetooth/discovery/RemoteDevice.h"
#include "obex/session/ClientCommandHandler.h"
#include "obex/session/ClientSession.h"

namespace flarecast::obex {

// The client side of an OBEX session over one stream connection, which it owns.
class OBEXConnection final : public ClientSession {
public:
    static constexpr int kDefaultMTU = 0x2000;
    // How long one request may take to go out, or its response to come in, before the session
    // gives up on the peer.
    static constexpr std::chrono::milliseconds kResponseTimeout = std::chrono::minutes(2);

    explicit OBEXConnection(std::unique_ptr<bluetooth::StreamConnection> connection);
    ~OBEXConnection() override;
    OBEXConnection(const OBEXConnection&) = delete;
    OBEXConnection& operator=(const OBEXConnection&) = delete;

    HeaderSetImpl connect(HeaderSet* headers) override;
    HeaderSetImpl disconnect(HeaderSet* headers) override;
    HeaderSetImpl setPath(HeaderSet* headers, bool backup, bool create) override;
    HeaderSetImpl deleteObject(HeaderSet* headers) override;
    std::unique_ptr<Operation> put(HeaderSet* headers) override;
    std::unique_ptr<Operation> get(HeaderSet* headers) override;
    HeaderSetImpl createHeaderSet() const override { return {}; }
    void setConnectionID(std::int64_t id) override { handler->setConnectionID(id); }
    std::int64_t getConnectionID() const override { return handler->getConnectionID(); }
    void setAuthenticator(Authenticator* a) override { handler->setAuthenticator(a); }
    Authenticator* getAuthenticator() const override { return handler->getAuthenticator(); }
    void close() override { handler->close(); }

    int getMTU() const { return handler->getMTU(); }
    // The device at the other end; an argument error when the connection is not RFCOMM.
    bluetooth::RemoteDevice getRemoteDevice() const;
    void setResponseTimeout(std::chrono::milliseconds timeout) { handler->setTimeout(timeout); }

private:
    // One request and its response.
    Bytes exchange(int opCode, std::span<const std::uint8_t> data);

    // Shared with the operations, which may outlive the session.
    std::shared_ptr<ClientCommandHandler> handler;
};

}  // namespace flarecast::obex
