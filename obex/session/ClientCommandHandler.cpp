#include "obex/session/ClientCommandHandler.h"

#include <algorithm>

#include "bluetooth/io/Errors.h"
#include "obex/Errors.h"
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

std::size_t ClientCommandHandler::frameSize(std::int64_t id, std::size_t dataSize) {
    const std::size_t frame = id != -1 ? 8 : 3;
    if (dataSize + frame > 0xFFFF) {
        throw IOError("Packet too long");
    }
    return frame;
}

std::size_t ClientCommandHandler::writeFrame(int opCode, std::int64_t id,
                                             std::span<std::uint8_t> packet) {
    const std::size_t length = packet.size();
    packet[0] = static_cast<std::uint8_t>(opCode);
    packet[1] = static_cast<std::uint8_t>(length >> 8);
    packet[2] = static_cast<std::uint8_t>(length);
    if (id == -1) {
        return 3;
    }
    packet[3] = HeaderSet::CONNECTION_ID;
    for (std::size_t at = 4, shift = 24; at < 8; ++at, shift -= 8) {
        packet[at] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(id) >> shift);
    }
    return 8;
}

void ClientCommandHandler::transmit(std::span<const std::uint8_t> packet) {
    watchdog.within(timeout, [this, packet] {
        try {
            out->write(packet);
            out->flush();
        } catch (const IOError& error) {
            throw ConnectionLostError(error.getMessage());
        }
        return true;
    });
}

void ClientCommandHandler::sendCommand(int opCode, std::span<const std::uint8_t> data) {
    // Read once: another thread may connect meanwhile.
    const std::int64_t id = conID;
    Bytes packet(data.size() + frameSize(id, data.size()));
    const std::size_t frame = writeFrame(opCode, id, packet);
    // SETPATH's flags and constants come before any header, the connection id included.
    const std::size_t fields = opCode == OpCode::SETPATH && data.size() >= 2 ? 2 : 0;
    const auto at = [&packet](std::size_t offset) {
        return packet.begin() + static_cast<std::ptrdiff_t>(offset);
    };
    std::copy_backward(at(3), at(frame), at(frame + fields));
    std::copy_n(data.begin(), fields, at(3));
    std::copy(data.begin() + static_cast<std::ptrdiff_t>(fields), data.end(), at(frame + fields));
    transmit(packet);
}

void ClientCommandHandler::sendFramed(int opCode, std::span<std::uint8_t> packet) {
    const auto data = packet.subspan(kFrameRoom);
    if (opCode == OpCode::SETPATH) {
        sendCommand(opCode, data);
        return;
    }
    const std::int64_t id = conID;
    const auto whole = packet.subspan(kFrameRoom - frameSize(id, data.size()));
    writeFrame(opCode, id, whole);
    transmit(whole);
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
