#include "obex/session/ClientCommandHandler.h"

#include <optional>

#include "bluetooth/io/Errors.h"
#include "obex/headers/HeaderCodec.h"
#include "obex/headers/OpCodes.h"
#include "obex/session/OBEXConnection.h"

namespace flarecast::obex {

using bluetooth::IOError;

ClientCommandHandler::ClientCommandHandler(std::unique_ptr<bluetooth::StreamConnection> connection)
    : mtu(OBEXConnection::kDefaultMTU),
      connection(std::move(connection)),
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

template <typename Step>
auto ClientCommandHandler::withinTimeLimit(Step step) {
    watchdog.arm(timeout);
    std::optional<decltype(step())> result;
    try {
        result = step();
    } catch (const bluetooth::Error&) {
        if (watchdog.disarm()) {
            throw IOError("No response from the peer");
        }
        throw;
    }
    // The step may have finished just as the transport was closed under it.
    if (watchdog.disarm()) {
        throw IOError("No response from the peer");
    }
    return std::move(*result);
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
    withinTimeLimit([this, &packet] {
        out->write(packet);
        out->flush();
        return true;
    });
}

void ClientCommandHandler::readFully(std::span<std::uint8_t> buffer) {
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        const int count = in->read(buffer.subspan(filled));
        if (count < 0) {
            throw IOError("End of stream while reading a packet");
        }
        filled += static_cast<std::size_t>(count);
    }
}

Bytes ClientCommandHandler::receiveCommand() {
    return withinTimeLimit([this] {
        Bytes packet(3);
        readFully(packet);
        const std::size_t length = std::size_t{packet[1]} * 256 + packet[2];
        if (length < 3) {
            throw IOError("Malformed packet length " + std::to_string(length));
        }
        packet.resize(length);
        readFully(std::span(packet).subspan(3));
        return packet;
    });
}

Bytes ClientCommandHandler::encodeHeaders(const HeaderSet* headers) {
    if (headers != nullptr) {
        if (const auto challenge = headers->getHeader(HeaderSet::AUTH_CHALLENGE);
            challenge && std::holds_alternative<Bytes>(*challenge)) {
            issuedNonces.issued(std::get<Bytes>(*challenge));
        }
    }
    return hsToByteArray(headers);
}

void ClientCommandHandler::handleAuthResponse(std::span<const std::uint8_t> response) {
    if (Authenticator* const callbacks = authenticator) {
        obex::handleAuthResponse(response, *callbacks, issuedNonces);
    }
}

}  // namespace flarecast::obex
