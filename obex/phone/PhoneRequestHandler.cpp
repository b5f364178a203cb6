#include "obex/phone/PhoneRequestHandler.h"

#include <array>

#include "bluetooth/io/Errors.h"
#include "bluetooth/io/Utf8Path.h"
#include "obex/phone/ObjectName.h"
#include "obex/phone/StoppableWait.h"
#include "obex/phone/StrictRules.h"

namespace flarecast::obex {

namespace {

using Profile = bluetooth::VirtualPhoneProfile;

constexpr int kContinue = 0x90;
constexpr std::size_t kChunk = 64 * 1024;

}  // namespace

int PhoneRequestHandler::onConnect(const HeaderSet& request, HeaderSet& /*reply*/) {
    if (profile.refuseConnect) {
        return *profile.refuseConnect;
    }
    if (strict() && request.getHeader(HeaderSet::TARGET)) {
        // An Object Push receiver serves no other service.
        return ResponseCodes::OBEX_HTTP_NOT_ACCEPTABLE;
    }
    return ResponseCodes::OBEX_HTTP_OK;
}

int PhoneRequestHandler::onPutPacket(Operation& operation) {
    const auto body = operation.openInputStream();
    if (current.lock() != body) {
        discard();
        received = 0;
        current = body;
        if (const int verdict = beginObject(operation); verdict != kContinue) {
            return refuse(verdict);
        }
    }
    receive(*body, false, object.get());
    if (announcedLength && received > *announcedLength) {
        return refuse(ResponseCodes::OBEX_HTTP_ENTITY_TOO_LARGE);
    }
    return kContinue;
}

int PhoneRequestHandler::onPut(Operation& operation) {
    // Whatever ends this call, the object is done with; uncommitted, its file goes with it.
    const std::unique_ptr<ReceivedObject> whole = std::move(object);
    const std::optional<std::int64_t> length = announcedLength;
    discard();
    receive(*operation.openInputStream(), true, whole.get());
    if (length && received != *length) {
        return refuse(received > *length ? ResponseCodes::OBEX_HTTP_ENTITY_TOO_LARGE
                                         : ResponseCodes::OBEX_HTTP_BAD_REQUEST);
    }
    if (whole) {
        whole->commit();
    }
    return ResponseCodes::OBEX_HTTP_OK;
}

int PhoneRequestHandler::beginObject(Operation& operation) {
    if (strict() && refusedBefore) {
        return ResponseCodes::OBEX_HTTP_FORBIDDEN;
    }
    if (profile.refusePut) {
        return *profile.refusePut;
    }
    const HeaderSetImpl headers = operation.getReceivedHeaders();
    if (strict()) {
        if (const int verdict = strictVerdict(headers); verdict != kContinue) {
            return verdict;
        }
        announcedLength = headers.get<std::int64_t>(HeaderSet::LENGTH);
    }
    if (!ownerAccepted) {
        if (const int answer = askOwner(); answer != kContinue) {
            return answer;
        }
    }
    if (profile.saveTo) {
        object = std::make_unique<ReceivedObject>(
            bluetooth::pathFromUtf8(*profile.saveTo),
            safeFileName(headers.get<std::string>(HeaderSet::NAME).value_or("")));
    }
    return kContinue;
}

int PhoneRequestHandler::askOwner() {
    const bool ignored = profile.prompt == Profile::Prompt::Ignore;
    if (!waitUnlessStopped(stop, ignored ? profile.promptTimeout : profile.promptDelay)) {
        drop("The phone was switched off");
    }
    if (profile.prompt != Profile::Prompt::Accept) {
        return ResponseCodes::OBEX_HTTP_FORBIDDEN;
    }
    ownerAccepted = true;
    return kContinue;
}

int PhoneRequestHandler::refuse(int code) {
    refusedBefore = true;
    discard();
    return code;
}

void PhoneRequestHandler::discard() noexcept {
    object.reset();
    current.reset();
    announcedLength.reset();
}

void PhoneRequestHandler::receive(bluetooth::InputStream& body, bool whole, ReceivedObject* into) {
    std::array<std::uint8_t, kChunk> buffer;
    while (true) {
        // A stream still receiving blocks when empty; a whole object's ends.
        const std::size_t ready = whole ? buffer.size() : std::min(body.available(), buffer.size());
        if (ready == 0) {
            break;
        }
        const int count = body.read(std::span(buffer).first(ready));
        if (count < 0) {
            break;
        }
        received += count;
        if (into != nullptr) {
            into->write(std::span(buffer).first(static_cast<std::size_t>(count)));
        }
    }
    if (profile.dropAfterBytes && received >= *profile.dropAfterBytes) {
        drop("The phone dropped the connection");
    }
}

void PhoneRequestHandler::drop(const char* why) {
    discard();
    throw bluetooth::IOError(why);
}

}  // namespace flarecast::obex
