#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "obex/headers/HeaderSetImpl.h"
#include "obex/headers/ResponseCodes.h"
#include "obex/operations/Operation.h"

namespace flarecast::obex {

// The application's side of an OBEX server session. The callbacks run on the session's thread
// and answer with a response code. An I/O error thrown from a callback drops the client's
// connection; any other error is answered with OBEX_HTTP_INTERNAL_ERROR and the session goes on.
class ServerRequestHandler {
public:
    virtual ~ServerRequestHandler() = default;

    virtual int onConnect(const HeaderSet& /*request*/, HeaderSet& /*reply*/) {
        return ResponseCodes::OBEX_HTTP_OK;
    }
    virtual void onDisconnect(const HeaderSet& /*request*/, HeaderSet& /*reply*/) {}
    virtual int onSetPath(const HeaderSet& /*request*/, HeaderSet& /*reply*/, bool /*backup*/,
                          bool /*create*/) {
        return ResponseCodes::OBEX_HTTP_BAD_METHOD;
    }
    // A PUT that carried no BODY and no END_OF_BODY header at all.
    virtual int onDelete(const HeaderSet& /*request*/, HeaderSet& /*reply*/) {
        return ResponseCodes::OBEX_HTTP_BAD_METHOD;
    }
    // What the handler writes to the operation's output stream goes back to the client.
    virtual int onGet(Operation& /*operation*/) { return ResponseCodes::OBEX_HTTP_BAD_METHOD; }
    // Every packet of a PUT, the last included, once its headers and body bytes are in the
    // operation (getReceivedHeaders, openInputStream): 0x90 goes on, any other code refuses the
    // object. A handler that drains the input stream here holds no object in memory.
    virtual int onPutPacket(Operation& /*operation*/) { return 0x90; }
    // The whole object has arrived; the operation's input stream ends where the object ends.
    virtual int onPut(Operation& operation);
    // A PUT ended without reaching onPut: aborted, refused, its connection dropped or timed out,
    // or the session closed. Whatever the handler kept of the object can go.
    virtual void onPutAbandoned() noexcept {}
    virtual void onAuthenticationFailure(const std::optional<Bytes>& /*userName*/) {}

    std::int64_t getConnectionID() const { return connectionID; }
    void setConnectionID(std::int64_t id) { connectionID = id; }
    virtual HeaderSetImpl createHeaderSet() const { return {}; }

private:
    std::atomic<std::int64_t> connectionID{-1};
};

}  // namespace flarecast::obex
