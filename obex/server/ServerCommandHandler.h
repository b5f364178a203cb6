#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "bluetooth/connections/Connection.h"
#include "obex/auth/Authentication.h"
#include "obex/server/Deadlines.h"
#include "obex/session/CommandHandler.h"

namespace flarecast::obex {

// The packets of one server session over the client's connection, which it owns; shared with
// the session's operations. Its I/O runs on the session's thread; close may come from any.
class ServerCommandHandler final : public CommandHandler {
public:
    // A request as it arrived: whole, or only its code and length when it is longer than the
    // session takes, the rest left unread.
    struct Request {
        Bytes packet;
        bool tooLong = false;
    };

    ServerCommandHandler(std::unique_ptr<bluetooth::StreamConnection> connection,
                         Authenticator* authenticator, std::chrono::milliseconds packetTimeout);
    ~ServerCommandHandler() override;
    ServerCommandHandler(const ServerCommandHandler&) = delete;
    ServerCommandHandler& operator=(const ServerCommandHandler&) = delete;

    // From here on every wait is bounded: a limit that passes closes the connection.
    void startTiming(std::shared_ptr<Deadlines> deadlines);
    // Ends the bounds; waits for an expiry under way.
    void stopTiming();

    // A response: code, length and data, in one write.
    void sendCommand(int code, std::span<const std::uint8_t> data) override;
    // The next request. The wait for its first byte ends after idleLimit; the rest must follow
    // within the packet time limit. The limit on its length is limitOf(its code).
    Request receiveRequest(std::chrono::milliseconds idleLimit,
                           const std::function<std::size_t(std::uint8_t)>& limitOf);
    // The next request, of any length the format allows.
    Bytes receiveCommand() override;
    // The client's maximum packet length.
    int getMTU() const override { return mtu; }
    void setMTU(int size) { mtu = size; }
    Authenticator* getAuthenticator() const override { return authenticator; }
    Bytes encodeHeaders(const HeaderSet* headers) override;
    // An I/O error "Authentication failure" unless the answer is the first to this session's
    // latest challenge, with the right digest.
    void handleAuthResponse(std::span<const std::uint8_t> response) override;
    // Whether a nonce is one of this session's own challenges.
    bool issuedNonce(const Nonce& nonce) const { return issuedNonces.wasIssued(nonce); }
    // Ends the connection: a read or write under way fails.
    void close();
    // Closes the connection and lets go of it, its descriptor with it.
    void release();

private:
    template <typename Step>
    auto within(std::chrono::milliseconds limit, Step step) {
        return timer ? timer->within(limit, step) : step();
    }

    std::mutex lock;
    std::unique_ptr<bluetooth::StreamConnection> connection;
    Authenticator* const authenticator;
    const std::chrono::milliseconds packetTimeout;
    std::atomic<int> mtu;
    std::shared_ptr<bluetooth::OutputStream> out;
    std::shared_ptr<bluetooth::InputStream> in;
    IssuedNonces issuedNonces;
    std::optional<Deadlines::Timer> timer;
};

}  // namespace flarecast::obex
