#pragma once

#include <chrono>
#include <memory>

#include "bluetooth/connections/Connection.h"
#include "bluetooth/discovery/RemoteDevice.h"
#include "obex/auth/Authentication.h"
#include "obex/session/ClientSession.h"
#include "obex/session/CommandHandler.h"
#include "obex/session/ResponseWatchdog.h"

namespace flarecast::obex {

// The client side of an OBEX session over one stream connection, which it owns.
class OBEXConnection final : public ClientSession, public CommandHandler {
public:
    static constexpr int kDefaultMTU = 0x2000;
    // How long one response packet may take before the session gives up on the peer.
    static constexpr std::chrono::milliseconds kResponseTimeout = std::chrono::minutes(2);

    explicit OBEXConnection(std::unique_ptr<bluetooth::StreamConnection> connection);
    ~OBEXConnection() override;

    HeaderSetImpl connect(HeaderSet* headers) override;
    HeaderSetImpl disconnect(HeaderSet* headers) override;
    HeaderSetImpl setPath(HeaderSet* headers, bool backup, bool create) override;
    HeaderSetImpl deleteObject(HeaderSet* headers) override;
    std::unique_ptr<Operation> put(HeaderSet* headers) override;
    std::unique_ptr<Operation> get(HeaderSet* headers) override;
    HeaderSetImpl createHeaderSet() const override { return {}; }
    void setConnectionID(std::int64_t id) override { conID = id; }
    std::int64_t getConnectionID() const override { return conID; }
    void setAuthenticator(Authenticator* a) override { authenticator = a; }
    Authenticator* getAuthenticator() const override { return authenticator; }
    void close() override;

    void sendCommand(int opCode, std::span<const std::uint8_t> data) override;
    Bytes receiveCommand() override;
    int getMTU() const override { return mtu; }
    Bytes encodeHeaders(const HeaderSet* headers) override;
    void handleAuthResponse(std::span<const std::uint8_t> response) override;
    int requestOverhead() const override { return conID == -1 ? 0 : 5; }

    // The device at the other end; an argument error when the connection is not RFCOMM.
    bluetooth::RemoteDevice getRemoteDevice() const;
    void setResponseTimeout(std::chrono::milliseconds timeout) { responseTimeout = timeout; }

private:
    // One request and its response, with the response's headers from offset.
    Bytes exchange(int opCode, std::span<const std::uint8_t> data);
    void readFully(std::span<std::uint8_t> buffer);
    // Ends a wait on a silent peer by closing the transport under it.
    void dropTransport();

    int mtu = kDefaultMTU;
    std::unique_ptr<bluetooth::StreamConnection> connection;
    std::int64_t conID = -1;
    Authenticator* authenticator = nullptr;
    std::shared_ptr<bluetooth::OutputStream> out;
    std::shared_ptr<bluetooth::InputStream> in;
    IssuedNonces issuedNonces;
    std::chrono::milliseconds responseTimeout = kResponseTimeout;
    ResponseWatchdog watchdog{[this] { dropTransport(); }};
};

}  // namespace flarecast::obex
