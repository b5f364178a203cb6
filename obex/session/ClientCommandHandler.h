#pragma once

#include <chrono>
#include <memory>

#include "bluetooth/connections/Connection.h"
#include "obex/auth/Authentication.h"
#include "obex/session/CommandHandler.h"
#include "obex/session/PacketReader.h"
#include "obex/session/ResponseWatchdog.h"

namespace flarecast::obex {

// The packets of a client session over its stream connection, which it owns. Operations and
// their streams share it with the session, so that either may go first.
class ClientCommandHandler final : public CommandHandler {
public:
    explicit ClientCommandHandler(std::unique_ptr<bluetooth::StreamConnection> connection);
    ~ClientCommandHandler() override;
    ClientCommandHandler(const ClientCommandHandler&) = delete;
    ClientCommandHandler& operator=(const ClientCommandHandler&) = delete;

    // Each send and each receive ends within the time limit; a peer that stops reading or
    // stops answering has its transport closed under the waiting call, a NoResponseError. A
    // connection that ends or fails under them is a ConnectionLostError.
    void sendCommand(int opCode, std::span<const std::uint8_t> data) override;
    void sendFramed(int opCode, std::span<std::uint8_t> packet) override;
    Bytes receiveCommand() override;
    int getMTU() const override { return mtu; }
    void setMTU(int size) { mtu = size; }
    Authenticator* getAuthenticator() const override { return authenticator; }
    void setAuthenticator(Authenticator* a) { authenticator = a; }
    Bytes encodeHeaders(const HeaderSet* headers) override;
    void handleAuthResponse(std::span<const std::uint8_t> response) override;
    // Checks the response that settled a request sent with the headers sent (which may be
    // absent). An answer to our challenge in it must be right, and a response that accepts a
    // request that carried our challenge must hold one: without it the peer has not shown that
    // it knows the password. A peer that fails is cut off, its connection closed, and an I/O
    // error thrown. Without an authenticator nothing is checked.
    void verifyPeer(const HeaderSet* sent, bool accepted, const HeaderSetImpl& received);
    // The AUTH_RESPONSE value that answers the peer's challenge, from the authenticator, which
    // must be set. A challenge that carries one of our own nonces is refused like a failed
    // proof: our answer to it would be the answer to our own challenge.
    Bytes answerChallenge(std::span<const std::uint8_t> challenge);
    int requestOverhead() const override { return conID == -1 ? 0 : 5; }

    std::int64_t getConnectionID() const { return conID; }
    void setConnectionID(std::int64_t id) { conID = id; }
    void setTimeout(std::chrono::milliseconds timeout) { this->timeout = timeout; }
    const bluetooth::StreamConnection& getConnection() const { return *connection; }
    // Closes the input stream, the output stream and the connection.
    void close();

private:
    // The code, length (that of packet) and connection id (when not -1) of a request, written
    // over the start of packet; how many bytes they took.
    static std::size_t writeFrame(int opCode, std::int64_t id, std::span<std::uint8_t> packet);
    // The size of that frame; an I/O error when a request with dataSize bytes is too long.
    static std::size_t frameSize(std::int64_t id, std::size_t dataSize);
    // One whole request, within the time limit.
    void transmit(std::span<const std::uint8_t> packet);
    // Closes the connection to a peer that failed to prove itself and throws the error.
    [[noreturn]] void cutOff(const std::string& error);

    std::atomic<int> mtu;
    std::unique_ptr<bluetooth::StreamConnection> connection;
    std::atomic<std::int64_t> conID{-1};
    std::atomic<Authenticator*> authenticator{nullptr};
    std::shared_ptr<bluetooth::OutputStream> out;
    std::shared_ptr<bluetooth::InputStream> in;
    PacketReader reader;
    IssuedNonces issuedNonces;
    std::atomic<std::chrono::milliseconds> timeout;
    ResponseWatchdog watchdog{[this] { close(); }};
};

}  // namespace flarecast::obex
