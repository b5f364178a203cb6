#include "obex/operations/OperationImpl.h"

#include <algorithm>
#include <utility>

#include "bluetooth/io/Console.h"
#include "bluetooth/io/Errors.h"
#include "obex/auth/Authentication.h"
#include "obex/headers/HeaderCodec.h"
#include "obex/headers/OpCodes.h"
#include "obex/headers/ResponseCodes.h"
#include "obex/session/ClientCommandHandler.h"

namespace flarecast::obex {

using bluetooth::IOError;

namespace {

constexpr int kPut = OpCode::PUT;
constexpr int kGet = OpCode::GET;
constexpr int kFinal = OpCode::FINAL;
constexpr int kContinue = OpCode::CONTINUE;
constexpr int kOk = ResponseCodes::OBEX_HTTP_OK;
// Operation code and packet length, then the body header's id and length.
constexpr int kBodyPacketOverhead = 6;
const Bytes kEmptyEndOfBody = {HeaderSet::END_OF_BODY, 0x00, 0x03};

std::string refusal(int code, int kind) {
    return "Command not accepted " + std::to_string(code) + "(" + std::to_string(kind) + ")";
}

}  // namespace

void OBEXPutOutputStream::write(int byte) {
    const auto low = static_cast<std::uint8_t>(byte);
    write(std::span(&low, 1));
}

void OBEXGetOutputStream::write(int byte) {
    const auto low = static_cast<std::uint8_t>(byte);
    input->newData(std::span(&low, 1));
}

OperationImpl::OperationImpl(int kind, const HeaderSet* headers,
                             std::shared_ptr<CommandHandler> sharedHandler)
    : handler(*sharedHandler),
      opCode(kind),
      outbox(std::make_shared<OperationOutbox>(std::move(sharedHandler))) {
    const bool client = dynamic_cast<ClientCommandHandler*>(&handler) != nullptr;
    input = std::make_shared<OBEXInputStream>(client);
    if ((kind & ~kFinal) == kPut) {
        output = std::make_shared<OBEXPutOutputStream>(outbox);
    } else {
        output = std::make_shared<OBEXGetOutputStream>(input);
    }
    HeaderSetImpl sent;
    if (headers != nullptr) {
        for (const int id : headers->getHeaderList()) {
            sent.setHeader(id, headers->getHeader(id));
        }
    }
    outbox->setHeadersToSend(sent);
    int k = kind;
    if (sent.getHeader(HeaderSet::END_OF_BODY) && k == kPut) {
        k = kPut | kFinal;
    }
    if (!client) {
        recHeaders = sent;
        return;
    }
    const int requestCode = k == kGet ? (kGet | kFinal) : k;
    handler.sendCommand(requestCode, handler.encodeHeaders(&sent));
    Bytes response = handler.receiveCommand();
    HeaderSetImpl received = parseHeaders(3, response);
    if (Authenticator* const authenticator = handler.getAuthenticator()) {
        if (const auto answer = received.get<Bytes>(HeaderSet::AUTH_RESPONSE)) {
            handler.handleAuthResponse(*answer);
        }
        if (const auto challenge = received.get<Bytes>(HeaderSet::AUTH_CHALLENGE)) {
            sent.setHeader(HeaderSet::AUTH_RESPONSE,
                           createAuthResponse(*authenticator, *challenge));
            outbox->setHeadersToSend(sent);
            handler.sendCommand(requestCode, handler.encodeHeaders(&sent));
            response = handler.receiveCommand();
            received = parseHeaders(3, response);
        }
    }
    int code = response[0];
    outbox->setResponseCode(code);
    if (code != kContinue && code != kOk) {
        throw IOError(refusal(code, k));
    }
    takeInHeaders(received);
    if (k == kPut) {
        opNeedsClosing = true;
    }
    if (k == kGet) {
        // The whole object arrives now, before anyone reads it.
        while (code != kOk) {
            // The request headers are complete: every continuation carries the final bit.
            handler.sendCommand(kGet | kFinal, {});
            response = handler.receiveCommand();
            code = response[0];
            outbox->setResponseCode(code);
            if (code != kContinue && code != kOk) {
                throw IOError(refusal(code, k));
            }
            takeInHeaders(parseHeaders(3, response));
        }
    }
}

OperationImpl::~OperationImpl() {
    outbox->detach();
}

std::shared_ptr<bluetooth::DataInputStream> OperationImpl::openDataInputStream() {
    return std::make_shared<bluetooth::DataInputStream>(input);
}

std::shared_ptr<bluetooth::DataOutputStream> OperationImpl::openDataOutputStream() {
    return std::make_shared<bluetooth::DataOutputStream>(output);
}

void OperationImpl::sendHeaders(const HeaderSetImpl& headers) {
    outbox->setHeadersToSend(headers);
}

HeaderSetImpl OperationImpl::getReceivedHeaders() {
    if (!recHeaders) {
        recHeaders = handler.createHeaderSet();
    }
    return *recHeaders;
}

std::optional<std::string> OperationImpl::getType() const {
    return type;
}

void OperationImpl::takeInHeaders(const HeaderSetImpl& headers) {
    if (!recHeaders) {
        recHeaders = handler.createHeaderSet();
    }
    for (const int id : headers.getHeaderList()) {
        const auto value = headers.getHeader(id);
        if (id == HeaderSet::BODY || id == HeaderSet::END_OF_BODY) {
            if (value && std::holds_alternative<Bytes>(*value)) {
                input->newData(std::get<Bytes>(*value));
            }
            continue;
        }
        if (id == HeaderSet::LENGTH && value && std::holds_alternative<std::int64_t>(*value)) {
            length = std::get<std::int64_t>(*value);
        }
        if (id == HeaderSet::TYPE && value && std::holds_alternative<std::string>(*value)) {
            type = std::get<std::string>(*value);
        }
        recHeaders->setHeader(id, value);
    }
}

void OperationOutbox::setHeadersToSend(std::optional<HeaderSetImpl> headers) {
    const std::lock_guard guard(writeLock);
    headersToSend = std::move(headers);
}

std::optional<HeaderSetImpl> OperationOutbox::takeHeadersToSend() {
    const std::lock_guard guard(writeLock);
    return std::exchange(headersToSend, std::nullopt);
}

void OperationOutbox::writeBody(std::span<const std::uint8_t> bytes) {
    const std::lock_guard guard(writeLock);
    if (detached) {
        throw IOError("Operation closed");
    }
    const std::size_t headerBytes = headersToSend ? hsToByteArray(&*headersToSend).size() : 0;
    // Every chunk leaves room for the pending headers, and for the connection id that goes
    // into every packet, so that no packet exceeds what the peer accepts.
    const std::ptrdiff_t room = static_cast<std::ptrdiff_t>(handler->getMTU()) -
                                kBodyPacketOverhead - handler->requestOverhead() -
                                static_cast<std::ptrdiff_t>(headerBytes);
    if (room <= 0) {
        throw IOError("Peer's packet size leaves no room for a body");
    }
    const auto chunk = static_cast<std::size_t>(room);
    do {
        const std::size_t size = std::min(bytes.size(), chunk);
        sendBodyPacket(bytes.first(size));
        bytes = bytes.subspan(size);
    } while (!bytes.empty());
}

void OperationOutbox::sendBodyPacket(std::span<const std::uint8_t> bytes) {
    HeaderSetImpl packet = headersToSend ? *headersToSend : handler->createHeaderSet();
    packet.setHeader(HeaderSet::BODY, Bytes(bytes.begin(), bytes.end()));
    handler->sendCommand(kPut, handler->encodeHeaders(&packet));
    headersToSend.reset();
    const Bytes response = handler->receiveCommand();
    if (response[0] != kContinue) {
        throw IOError("Error while sending PUT command " + std::to_string(response[0]));
    }
    responseCode = kContinue;
}

void OperationImpl::finalExchange(int requestCode) {
    try {
        handler.sendCommand(requestCode, kEmptyEndOfBody);
        outbox->setResponseCode(handler.receiveCommand()[0]);
    } catch (const bluetooth::Error& error) {
        bluetooth::printLine(error.what());
    }
}

void OperationImpl::close() {
    if (opNeedsClosing) {
        finalExchange(kPut | kFinal);
    }
}

void OperationImpl::abort() {
    finalExchange(OpCode::ABORT);
}

}  // namespace flarecast::obex
