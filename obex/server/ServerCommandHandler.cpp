#include "obex/server/ServerCommandHandler.h"

#include "bluetooth/io/Errors.h"
#include "obex/headers/HeaderCodec.h"
#include "obex/session/PacketReader.h"

namespace flarecast::obex {

namespace {

// Until the client says otherwise, the OBEX minimum.
constexpr int kMinimumPacketLength = 255;

}  // namespace

ServerCommandHandler::ServerCommandHandler(std::unique_ptr<bluetooth::StreamConnection> connection,
                                           Authenticator* authenticator,
                                           std::chrono::milliseconds packetTimeout)
    : connection(std::move(connection)),
      authenticator(authenticator),
      packetTimeout(packetTimeout),
      mtu(kMinimumPacketLength) {
    out = this->connection->openOutputStream();
    in = this->connection->openInputStream();
}

ServerCommandHandler::~ServerCommandHandler() {
    try {
        close();
    } catch (const bluetooth::Error&) {
    }
}

void ServerCommandHandler::close() {
    in->close();
    out->close();
    connection->close();
}

void ServerCommandHandler::sendCommand(int code, std::span<const std::uint8_t> data) {
    const std::size_t length = data.size() + 3;
    if (length > 0xFFFF) {
        throw bluetooth::IOError("Packet too long");
    }
    Bytes packet;
    packet.reserve(length);
    packet.push_back(static_cast<std::uint8_t>(code));
    packet.push_back(static_cast<std::uint8_t>(length >> 8));
    packet.push_back(static_cast<std::uint8_t>(length));
    packet.insert(packet.end(), data.begin(), data.end());
    watchdog.within(packetTimeout, [this, &packet] {
        out->write(packet);
        out->flush();
        return true;
    });
}

Bytes ServerCommandHandler::receiveCommand() {
    const std::uint8_t code = readPacketCode(*in);
    return watchdog.within(packetTimeout, [this, code] { return readPacketAfter(code, *in); });
}

Bytes ServerCommandHandler::encodeHeaders(const HeaderSet* headers) {
    issuedNonces.issuedIn(headers);
    return hsToByteArray(headers);
}

void ServerCommandHandler::handleAuthResponse(std::span<const std::uint8_t> response) {
    if (authenticator == nullptr) {
        throw bluetooth::IOError("Authentication failure");
    }
    obex::handleAuthResponse(response, *authenticator, issuedNonces);
}

}  // namespace flarecast::obex
