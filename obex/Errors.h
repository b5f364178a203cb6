#pragma once

#include <string>
#include <utility>

#include "bluetooth/io/Errors.h"

namespace flarecast::obex {

// The failures of a client session that a caller tells apart; each is an I/O error, so that a
// caller that does not care catches them all as one.

// The peer answered a request with a code that refuses it. The code is the one the peer sent,
// final bit included (0xC3 for forbidden).
class ResponseError : public bluetooth::IOError {
public:
    ResponseError(std::string message, int code) : IOError(std::move(message)), code(code) {}
    int responseCode() const noexcept { return code; }

private:
    int code;
};

// A request did not go out, or its response did not come in, within the session's time limit.
class NoResponseError : public bluetooth::IOError {
    using IOError::IOError;
};

// The connection ended, or its stream failed, while a request went out or its response was
// awaited: the peer closed or reset it, the link dropped, or another thread closed the session.
class ConnectionLostError : public bluetooth::IOError {
    using IOError::IOError;
};

}  // namespace flarecast::obex
