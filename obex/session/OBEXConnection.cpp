#include "obex/session/OBEXConnection.h"

#include "bluetooth/io/Errors.h"
#include "obex/Errors.h"
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
    : handler(std::make_shared<ClientCommandHandler>(std::move(connection))) {}

OBEXConnection::~OBEXConnection() {
    // Operations may keep the handler; the connection still ends with its session.
    try {
        handler->close();
    } catch (const bluetooth::Error&) {
    }
}

bluetooth::RemoteDevice OBEXConnection::getRemoteDevice() const {
    return bluetooth::RemoteDevice::getRemoteDevice(handler->getConnection());
}

Bytes OBEXConnection::exchange(int opCode, std::span<const std::uint8_t> data) {
    handler->sendCommand(opCode, data);
    return handler->receiveCommand();
}

HeaderSetImpl OBEXConnection::connect(HeaderSet* headers) {
    const auto connectData = [this](const HeaderSet* headers) {
        Bytes data = {kObexVersion, 0x00, static_cast<std::uint8_t>(kDefaultMTU >> 8),
                      static_cast<std::uint8_t>(kDefaultMTU & 0xFF)};
        const Bytes headerBytes = handler->encodeHeaders(headers);
        data.insert(data.end(), headerBytes.begin(), headerBytes.end());
        return data;
    };
    // A refusal may come without the CONNECT fields; only an acceptance must carry them.
    HeaderSetImpl received;
    const auto takeFields = [this, &received](const Bytes& response) {
        if (response.size() >= kConnectResponseFields) {
            handler->setMTU(response[5] * 256 + response[6]);
            received = parseHeaders(kConnectResponseFields, response);
        }
    };
    Bytes response = exchange(OpCode::CONNECT, connectData(headers));
    takeFields(response);
    HeaderSetImpl empty;
    HeaderSet* sent = headers;
    if (handler->getAuthenticator() != nullptr) {
        if (const auto challenge = received.get<Bytes>(HeaderSet::AUTH_CHALLENGE)) {
            sent = headers != nullptr ? headers : &empty;
            sent->setHeader(HeaderSet::AUTH_RESPONSE, handler->answerChallenge(*challenge));
            // Only the response to the request sent again settles the CONNECT: an answer to
            // our challenge counts there alone.
            received.setHeader(HeaderSet::AUTH_RESPONSE, std::nullopt);
            response = exchange(OpCode::CONNECT, connectData(sent));
            if (response.size() > kConnectResponseFields) {
                takeFields(response);
            }
        }
    }
    handler->verifyPeer(sent, response[0] == 0xA0, received);
    const int code = response[0];
    if (code != 0xA0) {
        throw ResponseError("Connection not accepted " + std::to_string(code), code);
    }
    if (response.size() < kConnectResponseFields) {
        throw IOError("Malformed CONNECT response");
    }
    if (const auto id = received.get<std::int64_t>(HeaderSet::CONNECTION_ID)) {
        handler->setConnectionID(*id);
    }
    // Callers pass this set on to their next request: the peer's authentication headers
    // belong to this exchange alone.
    received.setHeader(HeaderSet::AUTH_CHALLENGE, std::nullopt);
    received.setHeader(HeaderSet::AUTH_RESPONSE, std::nullopt);
    received.setRespCode(code);
    return received;
}

HeaderSetImpl OBEXConnection::disconnect(HeaderSet* headers) {
    const Bytes response = exchange(OpCode::DISCONNECT, handler->encodeHeaders(headers));
    if (response[0] != 0xA0) {
        throw ResponseError("Disconnection error", response[0]);
    }
    HeaderSetImpl received = parseHeaders(3, response);
    received.setRespCode(0xA0);
    return received;
}

HeaderSetImpl OBEXConnection::setPath(HeaderSet* headers, bool backup, bool create) {
    Bytes data = {static_cast<std::uint8_t>((backup ? 0x01 : 0) | (create ? 0 : 0x02)), 0x00};
    const Bytes headerBytes = handler->encodeHeaders(headers);
    data.insert(data.end(), headerBytes.begin(), headerBytes.end());
    const Bytes response = exchange(OpCode::SETPATH, data);
    HeaderSetImpl received = parseHeaders(3, response);
    received.setRespCode(response[0]);
    return received;
}

HeaderSetImpl OBEXConnection::deleteObject(HeaderSet* headers) {
    // The final bit: a delete is one whole PUT without a body, answered once.
    const Bytes response = exchange(OpCode::PUT | OpCode::FINAL, handler->encodeHeaders(headers));
    HeaderSetImpl received = parseHeaders(3, response);
    received.setRespCode(response[0]);
    return received;
}

std::unique_ptr<Operation> OBEXConnection::put(HeaderSet* headers) {
    return std::make_unique<OperationImpl>(OpCode::PUT, headers, handler);
}

std::unique_ptr<Operation> OBEXConnection::get(HeaderSet* headers) {
    return std::make_unique<OperationImpl>(OpCode::GET, headers, handler);
}

}  // namespace flarecast::obex
