#pragma once

#include <span>

#include "obex/auth/Authenticator.h"
#include "obex/headers/HeaderSetImpl.h"

namespace flarecast::obex {

// What an operation needs of its session: packets out and in, the peer's packet size and the
// authentication state.
class CommandHandler {
public:
    virtual ~CommandHandler() = default;
    // Frames data as one request packet (adding the connection id) and sends it at once.
    virtual void sendCommand(int opCode, std::span<const std::uint8_t> data) = 0;
    // What sendFramed may write before a request's data: code, length and connection id.
    static constexpr std::size_t kFrameRoom = 8;
    // Like sendCommand, for data that follows kFrameRoom bytes of packet that may be overwritten,
    // so that the data goes out as it lies, without a copy.
    virtual void sendFramed(int opCode, std::span<std::uint8_t> packet) {
        sendCommand(opCode, packet.subspan(kFrameRoom));
    }
    // One whole response packet, its code and length included.
    virtual Bytes receiveCommand() = 0;
    virtual int getMTU() const = 0;
    virtual Authenticator* getAuthenticator() const = 0;
    virtual HeaderSetImpl createHeaderSet() const { return {}; }
    // The header bytes of a set about to be sent; remembers the nonce of a challenge in it.
    virtual Bytes encodeHeaders(const HeaderSet* headers) = 0;
    // Checks the peer's AUTH_RESPONSE against the nonces this session issued.
    virtual void handleAuthResponse(std::span<const std::uint8_t> response) = 0;
    // The connection id header's share of every request, counted out of the body chunks.
    virtual int requestOverhead() const { return 0; }
};

}  // namespace flarecast::obex
