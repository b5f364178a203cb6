#include "obex/server/ServerSession.h"

#include <algorithm>
#include <exception>

#include "bluetooth/io/Console.h"
#include "bluetooth/io/Errors.h"
#include "obex/auth/Authentication.h"
#include "obex/headers/HeaderCodec.h"
#include "obex/headers/OpCodes.h"
#include "obex/operations/OperationImpl.h"
#include "obex/server/ServerCommandHandler.h"
#include "obex/session/PacketReader.h"

namespace flarecast::obex {

using bluetooth::IOError;

namespace {

constexpr int kContinue = OpCode::CONTINUE;
constexpr int kOk = ResponseCodes::OBEX_HTTP_OK;
constexpr std::uint8_t kObexVersion = 0x10;
// OBEX lets no peer announce less.
constexpr int kMinimumPacketLength = 255;
// Operation code and length of a packet, and the id and length of a body header.
constexpr int kPacketHeader = 3;
constexpr int kBodyHeader = 3;

int announcedMaximum(int maxPacketLength) {
    return std::clamp(maxPacketLength, kMinimumPacketLength, 0xFFFF);
}

bool carriesBody(const HeaderSet& headers) {
    return headers.getHeader(HeaderSet::BODY) || headers.getHeader(HeaderSet::END_OF_BODY);
}

// A callback's code; an I/O error passes on (it ends the connection), any other failure of the
// application's code is the server's internal error.
template <typename Callback>
int codeOf(Callback callback) {
    try {
        return callback();
    } catch (const IOError&) {
        throw;
    } catch (const std::exception& error) {
        bluetooth::printLine(error.what());
        return ResponseCodes::OBEX_HTTP_INTERNAL_ERROR;
    }
}

// Drops a PUT that did not reach onPut, and tells the handler.
void abandon(std::unique_ptr<OperationImpl>& put, ServerRequestHandler& handler) {
    if (put) {
        put.reset();
        handler.onPutAbandoned();
    }
}

}  // namespace

ServerSession::ServerSession(std::unique_ptr<bluetooth::StreamConnection> connection,
                             std::shared_ptr<ServerRequestHandler> handler, Options options)
    : commands(std::make_shared<ServerCommandHandler>(std::move(connection), options.authenticator,
                                                      options.packetTimeout)),
      handler(std::move(handler)),
      options(std::move(options)) {}

ServerSession::~ServerSession() {
    close();
    thread.join();
}

void ServerSession::start() {
    thread.start([this] { run(); });
}

void ServerSession::close() {
    try {
        commands->close();
    } catch (const bluetooth::Error&) {
    }
}

void ServerSession::run() {
    try {
        commands->startTiming(options.deadlines ? options.deadlines
                                                : std::make_shared<Deadlines>());
        for (bool first = true;; first = false) {
            const auto request = commands->receiveRequest(
                idleLimit(first), [this](std::uint8_t code) { return packetLimit(code); });
            if (request.tooLong) {
                commands->sendCommand(ResponseCodes::OBEX_HTTP_ENTITY_TOO_LARGE, {});
                break;
            }
            const Bytes& packet = request.packet;
            if (options.packetArrived) {
                options.packetArrived(packet.size());
            }
            if (!serve(packet)) {
                break;
            }
        }
    } catch (const bluetooth::Error&) {
        // The client went, stalled or was dropped: its connection ends below.
    } catch (const std::exception& error) {
        bluetooth::printLine(error.what());
    }
    abandon(putOperation, *handler);
    getOperation.reset();
    commands->stopTiming();
    commands->release();
}

std::chrono::milliseconds ServerSession::idleLimit(bool first) const {
    if (first) {
        return options.firstPacketTimeout;
    }
    if (putOperation || getOperation) {
        return options.objectPacketTimeout;
    }
    return options.idleTimeout;
}

std::size_t ServerSession::packetLimit(std::uint8_t code) const {
    if (toldMaximum || code == OpCode::CONNECT) {
        return static_cast<std::size_t>(announcedMaximum(options.maxPacketLength));
    }
    return kMinimumPacketLength;
}

bool ServerSession::serve(const Bytes& packet) {
    const int code = packet[0];
    Bytes response;
    switch (code) {
        case OpCode::CONNECT:
            response = onConnect(packet);
            break;
        case OpCode::DISCONNECT: {
            const HeaderSetImpl request = parseHeaders(kPacketHeader, packet);
            HeaderSetImpl reply = handler->createHeaderSet();
            codeOf([&] {
                handler->onDisconnect(request, reply);
                return kOk;
            });
            commands->sendCommand(kOk, commands->encodeHeaders(&reply));
            return false;
        }
        case OpCode::PUT:
        case OpCode::PUT | OpCode::FINAL:
            response = onPut(packet);
            break;
        case OpCode::GET:
        case OpCode::GET | OpCode::FINAL:
            response = onGet(packet);
            break;
        case OpCode::SETPATH:
            response = onSetPath(packet);
            break;
        case OpCode::ABORT:
            abandon(putOperation, *handler);
            getOperation.reset();
            response = {static_cast<std::uint8_t>(kOk)};
            break;
        default:
            bluetooth::printLine("Received unidentifier command ! " + std::to_string(code));
            // An answer, so that the client does not wait for one.
            response = {static_cast<std::uint8_t>(ResponseCodes::OBEX_HTTP_NOT_IMPLEMENTED)};
            break;
    }
    commands->sendCommand(response[0], std::span(response).subspan(1));
    return true;
}

ServerSession::Authentication ServerSession::authenticate(const HeaderSetImpl& request,
                                                          HeaderSet& reply) {
    Authentication outcome;
    Authenticator* const authenticator = options.authenticator;
    if (authenticator == nullptr) {
        return outcome;
    }
    if (const auto answer = request.get<Bytes>(HeaderSet::AUTH_RESPONSE)) {
        try {
            commands->handleAuthResponse(*answer);
            authenticated = true;
        } catch (const IOError&) {
            std::optional<Bytes> user;
            try {
                user = readAuthResponse(*answer).userId;
            } catch (const IOError&) {
            }
            handler->onAuthenticationFailure(user);
        }
    }
    const auto challenge = request.get<Bytes>(HeaderSet::AUTH_CHALLENGE);
    std::optional<Challenge> theirs;
    if (challenge) {
        try {
            theirs = readChallenge(*challenge);
        } catch (const IOError&) {
            // A challenge that cannot be read stays unanswered; the client's own check fails.
        }
    }
    if (theirs && commands->issuedNonce(theirs->nonce)) {
        // Our own challenge sent back: its answer would be the answer to our challenge.
        authenticated = false;
        handler->onAuthenticationFailure(std::nullopt);
    } else if (theirs && authenticated) {
        outcome.answer = createAuthResponse(*authenticator, *challenge);
    }
    outcome.passed = authenticated;
    if (!authenticated) {
        reply.createAuthenticationChallenge("", false, false);
    }
    return outcome;
}

void ServerSession::Authentication::answerIn(int code, HeaderSet& reply) const {
    if (answer && (code == kOk || code == kContinue)) {
        reply.setHeader(HeaderSet::AUTH_RESPONSE, *answer);
    }
}

namespace {

Bytes responseOf(int code, CommandHandler& commands, const HeaderSet& reply) {
    Bytes response = {static_cast<std::uint8_t>(code)};
    const Bytes headers = commands.encodeHeaders(&reply);
    response.insert(response.end(), headers.begin(), headers.end());
    return response;
}

}  // namespace

Bytes ServerSession::onConnect(const Bytes& packet) {
    HeaderSetImpl reply = handler->createHeaderSet();
    int code = ResponseCodes::OBEX_HTTP_BAD_REQUEST;
    if (packet.size() >= 7) {
        commands->setMTU(std::max(kMinimumPacketLength, packet[5] * 256 + packet[6]));
        const HeaderSetImpl request = parseHeaders(7, packet);
        // Each CONNECT opens the OBEX connection anew, and the client proves itself anew.
        authenticated = false;
        const Authentication authentication = authenticate(request, reply);
        code = authentication.passed ? codeOf([&] { return handler->onConnect(request, reply); })
                                     : ResponseCodes::OBEX_HTTP_UNAUTHORIZED;
        authentication.answerIn(code, reply);
    }
    const int announced = announcedMaximum(options.maxPacketLength);
    toldMaximum = true;
    Bytes response = {static_cast<std::uint8_t>(code), kObexVersion, 0x00,
                      static_cast<std::uint8_t>(announced >> 8),
                      static_cast<std::uint8_t>(announced)};
    const Bytes headers = commands->encodeHeaders(&reply);
    response.insert(response.end(), headers.begin(), headers.end());
    return response;
}

Bytes ServerSession::onPut(const Bytes& packet) {
    const bool final = (packet[0] & OpCode::FINAL) != 0;
    const HeaderSetImpl request = parseHeaders(kPacketHeader, packet);
    HeaderSetImpl reply = handler->createHeaderSet();
    const Authentication authentication = authenticate(request, reply);
    if (!authentication.passed) {
        abandon(putOperation, *handler);
        return responseOf(ResponseCodes::OBEX_HTTP_UNAUTHORIZED, *commands, reply);
    }
    if (!putOperation) {
        putOperation = std::make_unique<OperationImpl>(OpCode::PUT, nullptr, commands);
        putCarriedBody = false;
    }
    putCarriedBody = putCarriedBody || carriesBody(request);
    putOperation->takeInHeaders(request);
    const auto refuse = [&](int code) {
        abandon(putOperation, *handler);
        return responseOf(code, *commands, reply);
    };
    if (final && !putCarriedBody) {
        const HeaderSetImpl asked = putOperation->getReceivedHeaders();
        abandon(putOperation, *handler);
        const int code = codeOf([&] { return handler->onDelete(asked, reply); });
        authentication.answerIn(code, reply);
        return responseOf(code, *commands, reply);
    }
    if (putOperation->openInputStream()->available() > kMaxObjectInMemory) {
        return refuse(ResponseCodes::OBEX_HTTP_ENTITY_TOO_LARGE);
    }
    const int progress = codeOf([&] { return handler->onPutPacket(*putOperation); });
    if (progress != kContinue) {
        return refuse(progress);
    }
    if (!final) {
        authentication.answerIn(kContinue, reply);
        return responseOf(kContinue, *commands, reply);
    }
    putOperation->finishInput();
    const int code = codeOf([&] { return handler->onPut(*putOperation); });
    if (auto headers = putOperation->takeHeadersToSend()) {
        for (const int id : headers->getHeaderList()) {
            reply.setHeader(id, headers->getHeader(id));
        }
    }
    reply.setHeader(HeaderSet::BODY, std::nullopt);
    reply.setHeader(HeaderSet::END_OF_BODY, std::nullopt);
    authentication.answerIn(code, reply);
    putOperation.reset();
    return responseOf(code, *commands, reply);
}

Bytes ServerSession::onGet(const Bytes& packet) {
    const HeaderSetImpl request = parseHeaders(kPacketHeader, packet);
    HeaderSetImpl reply = handler->createHeaderSet();
    Authentication authentication;
    if (!getOperation) {
        authentication = authenticate(request, reply);
        if (!authentication.passed) {
            return responseOf(ResponseCodes::OBEX_HTTP_UNAUTHORIZED, *commands, reply);
        }
        getOperation = std::make_unique<OperationImpl>(OpCode::GET, nullptr, commands);
        getOperation->takeInHeaders(request);
        const int code = codeOf([&] { return handler->onGet(*getOperation); });
        if (code != kContinue && code != kOk) {
            getOperation.reset();
            return responseOf(code, *commands, reply);
        }
        getOperation->finishInput();
    } else {
        getOperation->takeInHeaders(request);
    }
    if (auto headers = getOperation->takeHeadersToSend()) {
        for (const int id : headers->getHeaderList()) {
            reply.setHeader(id, headers->getHeader(id));
        }
    }
    reply.setHeader(HeaderSet::BODY, std::nullopt);
    reply.setHeader(HeaderSet::END_OF_BODY, std::nullopt);
    authentication.answerIn(kOk, reply);
    // The whole response, body header included, within what the client accepts.
    const auto object = getOperation->openInputStream();
    const std::ptrdiff_t room = static_cast<std::ptrdiff_t>(commands->getMTU()) - kPacketHeader -
                                kBodyHeader -
                                static_cast<std::ptrdiff_t>(commands->encodeHeaders(&reply).size());
    Bytes chunk(
        std::min(object->available(), static_cast<std::size_t>(std::max<std::ptrdiff_t>(room, 0))));
    readFully(*object, chunk);
    const bool more = object->available() > 0;
    reply.setHeader(more ? HeaderSet::BODY : HeaderSet::END_OF_BODY, std::move(chunk));
    if (!more) {
        getOperation.reset();
    }
    return responseOf(more ? kContinue : kOk, *commands, reply);
}

Bytes ServerSession::onSetPath(const Bytes& packet) {
    HeaderSetImpl reply = handler->createHeaderSet();
    if (packet.size() < 5) {
        return responseOf(ResponseCodes::OBEX_HTTP_BAD_REQUEST, *commands, reply);
    }
    const HeaderSetImpl request = parseHeaders(5, packet);
    const Authentication authentication = authenticate(request, reply);
    if (!authentication.passed) {
        return responseOf(ResponseCodes::OBEX_HTTP_UNAUTHORIZED, *commands, reply);
    }
    const bool backup = (packet[3] & 0x01) != 0;
    const bool create = (packet[3] & 0x02) == 0;
    const int code = codeOf([&] { return handler->onSetPath(request, reply, backup, create); });
    authentication.answerIn(code, reply);
    return responseOf(code, *commands, reply);
}

}  // namespace flarecast::obex
