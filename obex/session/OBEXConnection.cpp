#include "obex/session/OBEXConnection.h"

#include "bluetooth/io/Errors.h"
#include "obex/headers/HeaderCodec.h"
#include "obex/headers/OpCodes.h"
#include "obex/operations/OperationImpl.h"

namespace flarecast::obex {

using bluetooth::IOError;

namespace {

constexpr std::uint8_t kObexVersion = 0x10;
constexpr std::size_t kConnectResponseFields = 7;

}  // namespace

OBEXConnection::OBEXConnection(std::unique_ptr<bluetooth::StreamConnection> connection)
    : connection(std::move(connection)) {
    out = this->connection->openOutputStream();
    in = this->connection->openInputStream();
}

OBEXConnection::~OBEXConnection() {
    try {
        close();
    } catch (const bluetooth::Error&) {
    }
}

void OBEXConnection::close() {
    in->close();
    out->close();
    connection->close();
}

void OBEXConnection::dropTransport() {
    try {
        close();
    } catch (const bluetooth::Error&) {
    }
}

bluetooth::RemoteDevice OBEXConnection::getRemoteDevice() const {
    return bluetooth::RemoteDevice::getRemoteDevice(*connection);
}

void OBEXConnection::sendCommand(int opCode, std::span<const std::uint8_t> data) {
    const bool withConnectionId = conID != -1;
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
            packet.push_back(static_cast<std::uint8_t>(static_cast<std::uint64_t>(conID) >> shift));
        }
    }
    packet.insert(packet.end(), data.begin() + static_cast<std::ptrdiff_t>(dataStart), data.end());
    out->write(packet);
    out->flush();
}

void OBEXConnection::readFully(std::span<std::uint8_t> buffer) {
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        const int count = in->read(buffer.subspan(filled));
        if (count < 0) {
            throw IOError("End of stream while reading a packet");
        }
        filled += static_cast<std::size_t>(count);
    }
}

Bytes OBEXConnection::receiveCommand() {
    watchdog.arm(responseTimeout);
    Bytes packet(3);
    try {
        readFully(packet);
        const std::size_t length = std::size_t{packet[1]} * 256 + packet[2];
        if (length < 3) {
            throw IOError("Malformed packet length " + std::to_string(length));
        }
        packet.resize(length);
        readFully(std::span(packet).subspan(3));
    } catch (const bluetooth::Error&) {
        if (watchdog.disarm()) {
            throw IOError("No response from the peer");
        }
        throw;
    }
    if (watchdog.disarm()) {
        throw IOError("No response from the peer");
    }
    return packet;
}

Bytes OBEXConnection::encodeHeaders(const HeaderSet* headers) {
    if (headers != nullptr) {
        if (const auto challenge = headers->getHeader(HeaderSet::AUTH_CHALLENGE);
            challenge && std::holds_alternative<Bytes>(*challenge)) {
            issuedNonces.issued(std::get<Bytes>(*challenge));
        }
    }
    return hsToByteArray(headers);
}

void OBEXConnection::handleAuthResponse(std::span<const std::uint8_t> response) {
    if (authenticator != nullptr) {
        obex::handleAuthResponse(response, *authenticator, issuedNonces);
    }
}

Bytes OBEXConnection::exchange(int opCode, std::span<const std::uint8_t> data) {
    sendCommand(opCode, data);
    return receiveCommand();
}

HeaderSetImpl OBEXConnection::connect(HeaderSet* headers) {
    const auto connectData = [this, headers] {
        Bytes data = {kObexVersion, 0x00, static_cast<std::uint8_t>(kDefaultMTU >> 8),
                      static_cast<std::uint8_t>(kDefaultMTU & 0xFF)};
        const Bytes headerBytes = encodeHeaders(headers);
        data.insert(data.end(), headerBytes.begin(), headerBytes.end());
        return data;
    };
    // A refusal may come without the CONNECT fields; only an acceptance must carry them.
    HeaderSetImpl received;
    const auto takeFields = [this, &received](const Bytes& response) {
        if (response.size() >= kConnectResponseFields) {
            mtu = response[5] * 256 + response[6];
            received = parseHeaders(kConnectResponseFields, response);
        }
    };
    Bytes response = exchange(OpCode::CONNECT, connectData());
    takeFields(response);
    if (authenticator != nullptr) {
        if (const auto answer = received.get<Bytes>(HeaderSet::AUTH_RESPONSE)) {
            handleAuthResponse(*answer);
        }
        if (const auto challenge = received.get<Bytes>(HeaderSet::AUTH_CHALLENGE)) {
            HeaderSetImpl empty;
            HeaderSet* target = headers != nullptr ? headers : &empty;
            target->setHeader(HeaderSet::AUTH_RESPONSE,
                              createAuthResponse(*authenticator, *challenge));
            headers = target;
            response = exchange(OpCode::CONNECT, connectData());
            if (response.size() > kConnectResponseFields) {
                takeFields(response);
            }
        }
    }
    const int code = response[0];
    if (code != 0xA0) {
        throw IOError("Connection not accepted " + std::to_string(code));
    }
    if (response.size() < kConnectResponseFields) {
        throw IOError("Malformed CONNECT response");
    }
    if (const auto id = received.get<std::int64_t>(HeaderSet::CONNECTION_ID)) {
        conID = *id;
    }
    received.setRespCode(code);
    return received;
}

HeaderSetImpl OBEXConnection::disconnect(HeaderSet* headers) {
    const Bytes response = exchange(OpCode::DISCONNECT, encodeHeaders(headers));
    if (response[0] != 0xA0) {
        throw IOError("Disconnection error");
    }
    HeaderSetImpl received = parseHeaders(3, response);
    received.setRespCode(0xA0);
    return received;
}

HeaderSetImpl OBEXConnection::setPath(HeaderSet* headers, bool backup, bool create) {
    Bytes data = {static_cast<std::uint8_t>((backup ? 0x01 : 0) | (create ? 0 : 0x02)), 0x00};
    const Bytes headerBytes = encodeHeaders(headers);
    data.insert(data.end(), headerBytes.begin(), headerBytes.end());
    const Bytes response = exchange(OpCode::SETPATH, data);
    HeaderSetImpl received = parseHeaders(3, response);
    received.setRespCode(response[0]);
    return received;
}

HeaderSetImpl OBEXConnection::deleteObject(HeaderSet* headers) {
    // The final bit: a delete is one whole PUT without a body, answered once.
    const Bytes response = exchange(OpCode::PUT | OpCode::FINAL, encodeHeaders(headers));
    HeaderSetImpl received = parseHeaders(3, response);
    received.setRespCode(response[0]);
    return received;
}

std::unique_ptr<Operation> OBEXConnection::put(HeaderSet* headers) {
    return std::make_unique<OperationImpl>(OpCode::PUT, headers, *this);
}

std::unique_ptr<Operation> OBEXConnection::get(HeaderSet* headers) {
    return std::make_unique<OperationImpl>(OpCode::GET, headers, *this);
}

}  // namespace flarecast::obex
