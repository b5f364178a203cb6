#pragma once

#include <atomic>
#include <chrono>
#include <memory>

#include "bluetooth/connections/Connection.h"
#include "obex/auth/Authentication.h"
#include "obex/session/CommandHandler.h"
#include "obex/session/ResponseWatchdog.h"

namespace flarecast::obex {

// The packets of one server session over the client's connection, which it owns; shared with
// the session's operations.
class ServerCommandHandler final : public CommandHandler {
public:
    ServerCommandHandler(std::unique_ptr<bluetooth::StreamConnection> connection,
                         Authenticator* authenticator, std::chrono::milliseconds packetTimeout);
    ~ServerCommandHandler() override;
    ServerCommandHandler(const ServerCommandHandler&) = delete;
    ServerCommandHandler& operator=(const ServerCommandHandler&) = delete;

    // A response: code, length and data, in one write.
    void sendCommand(int code, std::span<const std::uint8_t> data) override;
    // The next request. Waiting for a client to begin one has no limit; a client that stops
    // in the middle of a packet has its connection closed after the packet time limit.
    Bytes receiveCommand() override;
    // The client's maximum packet length.
    int getMTU() const override { return mtu; }
    void setMTU(int size) { mtu = size; }
    Authenticator* getAuthenticator() const override { return authenticator; }
    Bytes encodeHeaders(const HeaderSet* headers) override;
    // An I/O error "Authentication failure" when the answer does not match one of this
    // session's challenges.
    void handleAuthResponse(std::span<const std::uint8_t> response) override;
    void close();

private:
    std::unique_ptr<bluetooth::StreamConnection> connection;
    Authenticator* const authenticator;
    const std::chrono::milliseconds packetTimeout;
    std::atomic<int> mtu;
    std::shared_ptr<bluetooth::OutputStream> out;
    std::shared_ptr<bluetooth::InputStream> in;
    IssuedNonces issuedNonces;
    ResponseWatchdog watchdog{[this] { close(); }};
};

}  // namespace flarecast::obex
