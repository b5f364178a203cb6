#include "obex/operations/OperationImpl.h"

#include <algorithm>
#include <utility>

#include "bluetooth/io/Console.h"
#include "bluetooth/io/Errors.h"
#include "obex/Errors.h"
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

ResponseError refusal(int code, int kind) {
    return {"Command not accepted " + std::to_string(code) + "(" + std::to_string(kind) + ")",
            code};
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
    auto* const client = dynamic_cast<ClientCommandHandler*>(&handler);
    input = std::make_shared<OBEXInputStream>(client != nullptr);
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
    int k = kind;
    if (sent.getHeader(HeaderSet::END_OF_BODY) && k == kPut) {
        k = kPut | kFinal;
    }
    if (client == nullptr) {
        recHeaders = sent;
        return;
    }
    const int requestCode = k == kGet ? (kGet | kFinal) : k;
    handler.sendCommand(requestCode, handler.encodeHeaders(&sent));
    Bytes response = handler.receiveCommand();
    HeaderSetImpl received = parseHeaders(3, response);
    if (handler.getAuthenticator() != nullptr) {
        if (const auto challenge = received.get<Bytes>(HeaderSet::AUTH_CHALLENGE)) {
            sent.setHeader(HeaderSet::AUTH_RESPONSE, client->answerChallenge(*challenge));
            handler.sendCommand(requestCode, handler.encodeHeaders(&sent));
            response = handler.receiveCommand();
            received = parseHeaders(3, response);
        }
    }
    int code = response[0];
    // Before any of the object is taken in: it may come from a peer that does not know the
    // password.
    client->verifyPeer(&sent, code == kContinue || code == kOk, received);
    outbox->setResponseCode(code);
    if (code != kContinue && code != kOk) {
        throw refusal(code, k);
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
                throw refusal(code, k);
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

std::size_t OperationOutbox::bodyRoom() const {
    const std::size_t headerBytes = headersToSend ? hsToByteArray(&*headersToSend).size() : 0;
    // The connection id goes into every packet, and no packet may exceed what the peer accepts.
    const std::ptrdiff_t room = static_cast<std::ptrdiff_t>(handler->getMTU()) -
                                kBodyPacketOverhead - handler->requestOverhead() -
                                static_cast<std::ptrdiff_t>(headerBytes);
    if (room <= 0) {
        throw IOError("Peer's packet size leaves no room for a body");
    }
    return static_cast<std::size_t>(room);
}

void OperationOutbox::checkOpen() const {
    if (detached || ended) {
        throw IOError("Operation closed");
    }
}

int OperationOutbox::exchange(int opCode, int bodyId, std::size_t count) {
    const std::size_t length = count + 3;
    if (auto headers = std::exchange(headersToSend, std::nullopt)) {
        // Headers given late go before the body header: the body is copied after them.
        headers->setHeader(HeaderSet::BODY, std::nullopt);
        headers->setHeader(HeaderSet::END_OF_BODY, std::nullopt);
        Bytes data = handler->encodeHeaders(&*headers);
        data.reserve(data.size() + length);
        data.push_back(static_cast<std::uint8_t>(bodyId));
        data.push_back(static_cast<std::uint8_t>(length >> 8));
        data.push_back(static_cast<std::uint8_t>(length));
        const auto body = std::span(kept).subspan(kHeadroom, count);
        data.insert(data.end(), body.begin(), body.end());
        handler->sendCommand(opCode, data);
    } else {
        constexpr std::size_t at = CommandHandler::kFrameRoom;
        kept[at] = static_cast<std::uint8_t>(bodyId);
        kept[at + 1] = static_cast<std::uint8_t>(length >> 8);
        kept[at + 2] = static_cast<std::uint8_t>(length);
        handler->sendFramed(opCode, std::span(kept).first(kHeadroom + count));
    }
    const int code = handler->receiveCommand()[0];
    responseCode = code;
    return code;
}

bool OperationOutbox::sendBody(std::size_t count) {
    // A packet that fails or is refused ends the operation.
    ended = true;
    if (exchange(kPut, HeaderSet::BODY, count) != kContinue) {
        kept.resize(kHeadroom);
        return false;
    }
    ended = false;
    return true;
}

void OperationOutbox::sent(std::size_t count) {
    const auto from = kept.begin() + static_cast<std::ptrdiff_t>(kHeadroom);
    kept.erase(from, from + static_cast<std::ptrdiff_t>(count));
}

void OperationOutbox::sendKept(std::size_t count) {
    if (!sendBody(count)) {
        const int code = responseCode;
        throw ResponseError("Error while sending PUT command " + std::to_string(code), code);
    }
    sent(count);
}

void OperationOutbox::writeBody(std::span<const std::uint8_t> bytes) {
    const std::lock_guard guard(writeLock);
    checkOpen();
    // A packet's worth waits for one byte more, so that the last one is the final packet.
    for (std::size_t room = bodyRoom(); keptSize() + bytes.size() > room; room = bodyRoom()) {
        const std::size_t fill = std::min(bytes.size(), room - std::min(room, keptSize()));
        kept.insert(kept.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(fill));
        bytes = bytes.subspan(fill);
        sendKept(room);
    }
    kept.insert(kept.end(), bytes.begin(), bytes.end());
}

void OperationOutbox::flush() {
    const std::lock_guard guard(writeLock);
    if (keptSize() == 0) {
        return;
    }
    checkOpen();
    while (keptSize() > 0) {
        sendKept(std::min(keptSize(), bodyRoom()));
    }
}

void OperationOutbox::finish() {
    const std::lock_guard guard(writeLock);
    if (ended) {
        return;
    }
    // Headers given late may leave the final packet less room than is kept.
    for (std::size_t room = bodyRoom(); keptSize() > room; room = bodyRoom()) {
        if (!sendBody(room)) {
            return;
        }
        sent(room);
    }
    ended = true;
    exchange(kPut | kFinal, HeaderSet::END_OF_BODY, keptSize());
    kept.resize(kHeadroom);
}

void OperationOutbox::drop() {
    const std::lock_guard guard(writeLock);
    kept.resize(kHeadroom);
    ended = true;
}

void OperationImpl::close() {
    if (opNeedsClosing) {
        outbox->finish();
    }
}

void OperationImpl::abort() {
    outbox->drop();
    try {
        handler.sendCommand(OpCode::ABORT, kEmptyEndOfBody);
        outbox->setResponseCode(handler.receiveCommand()[0]);
    } catch (const bluetooth::Error& error) {
        bluetooth::printLine(error.what());
    }
}

}  // namespace flarecast::obex
