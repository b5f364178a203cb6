#include "obex/session/ClientCommandHandler.h"

#include "bluetooth/io/Errors.h"
#include "obex/headers/HeaderCodec.h"
#include "obex/headers/OpCodes.h"
#include "obex/session/OBEXConnection.h"
#include "obex/session/PacketReader.h"

namespace flarecast::obex {

using bluetooth::IOError;

ClientCommandHandler::ClientCommandHandler(std::unique_ptr<bluetooth::StreamConnection> connection)
    : mtu(OBEXConnection::kDefaultMTU),
      connection(std::move(connection)),
      reader(OBEXConnection::kDefaultMTU),
      timeout(OBEXConnection::kResponseTimeout) {
    out = this->connection->openOutputStream();
    in = this->connection->openInputStream();
}

ClientCommandHandler::~ClientCommandHandler() {
    try {
        close();
    } catch (const bluetooth::Error&) {
    }
}

void ClientCommandHandler::close() {
    in->close();
    out->close();
    connection->close();
}

void ClientCommandHandler::sendCommand(int opCode, std::span<const std::uint8_t> data) {
    const std::int64_t id = conID;
    const bool withConnectionId = id != -1;
    const std::size_t length = data.size() + 3 + (withConnectionId ? 5 : 0);
    if (length > 0xFFFF) {
        throw IOError("Packet too long");
    }
    Bytes packet;
    packet.reserve(length);
    packet.push_back(static_cast<std::uint8_t>(opCode));
    packet.push_back(static_cast<std::uint8_t>(length >> 8));
    packet.push_back(static_cast<std::uint8_t>(length));
    std::size_t dataStart = 0;
    // SETPATH's flags and constants come before any header, the connection id included.
    if (opCode == OpCode::SETPATH && data.size() >= 2) {
        packet.insert(packet.end(), data.begin(), data.begin() + 2);
        dataStart = 2;
    }
    if (withConnectionId) {
        packet.push_back(HeaderSet::CONNECTION_ID);
        for (int shift = 24; shift >= 0; shift -= 8) {
            packet.push_back(static_cast<std::uint8_t>(static_cast<std::uint64_t>(id) >> shift));
        }
    }
    packet.insert(packet.end(), data.begin() + static_cast<std::ptrdiff_t>(dataStart), data.end());
    watchdog.within(timeout, [this, &packet] {
        out->write(packet);
        out->flush();
        return true;
    });
}

Bytes ClientCommandHandler::receiveCommand() {
    return watchdog.within(timeout, [this] { return reader.next(*in); });
}

Bytes ClientCommandHandler::encodeHeaders(const HeaderSet* headers) {
    issuedNonces.issuedIn(headers);
    return hsToByteArray(headers);
}

void ClientCommandHandler::verifyPeer(const HeaderSet* sent, bool accepted,
                                      const HeaderSetImpl& received) {
    Authenticator* const callbacks = authenticator;
    if (callbacks == nullptr) {
        return;
    }
    const auto challenged = [sent] {
        const auto challenge =
            sent != nullptr ? sent->getHeader(HeaderSet::AUTH_CHALLENGE) : std::nullopt;
        return challenge && std::holds_alternative<Bytes>(*challenge);
    };
    if (const auto answer = received.get<Bytes>(HeaderSet::AUTH_RESPONSE)) {
        try {
            obex::handleAuthResponse(*answer, *callbacks, issuedNonces);
        } catch (const IOError& error) {
            cutOff(error.getMessage());
        }
    } else if (accepted && challenged()) {
        cutOff("Authentication failure: the peer did not answer our challenge");
    }
}

Bytes ClientCommandHandler::answerChallenge(std::span<const std::uint8_t> challenge) {
    if (issuedNonces.wasIssued(readChallenge(challenge).nonce)) {
        cutOff("Authentication failure: the peer sent our own challenge back");
    }
    return createAuthResponse(*authenticator.load(), challenge);
}

void ClientCommandHandler::cutOff(const std::string& error) {
    // Nothing more goes to a peer that may be an impostor.
    try {
        close();
    } catch (const bluetooth::Error&) {
    }
    throw IOError(error);
}

void ClientCommandHandler::handleAuthResponse(std::span<const std::uint8_t> response) {
    if (Authenticator* const callbacks = authenticator) {
        obex::handleAuthResponse(response, *callbacks, issuedNonces);
    }
}

}  // namespace flarecast::obex
