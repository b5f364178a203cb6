#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "bluetooth/connections/Connection.h"
#include "bluetooth/io/OwnedThread.h"
#include "obex/auth/Authenticator.h"
#include "obex/server/Deadlines.h"
#include "obex/server/ServerRequestHandler.h"

namespace flarecast::obex {

class ServerCommandHandler;
class OperationImpl;

// One client of an OBEX server: reads its requests on a thread of its own, hands them to the
// handler and writes the responses, until the client disconnects, the connection fails, the
// client stays silent too long, or the session is closed. A session that has ended holds no
// thread and no connection.
class ServerSession {
public:
    // The most of one object that the session holds in memory; a larger PUT is refused unless
    // the handler drains it as it arrives.
    static constexpr std::size_t kMaxObjectInMemory = 32 * 1024 * 1024;

    struct Options {
        // Announced in the CONNECT response: the largest packet the client may send. A longer
        // request is refused with OBEX_HTTP_ENTITY_TOO_LARGE and the client dropped; so is one
        // longer than the OBEX minimum, 255, before the client has had a CONNECT response.
        int maxPacketLength = 0x2000;
        // How long the client may take to finish a packet it has begun, or to take a response.
        std::chrono::milliseconds packetTimeout = std::chrono::seconds(30);
        // How long a new connection may stay silent before its first request: phones give a
        // client about a minute.
        std::chrono::milliseconds firstPacketTimeout = std::chrono::seconds(60);
        // How long the client may pause between the packets of an object (a PUT or GET under
        // way). A client sends the next packet as soon as it has the response, so a few seconds
        // cover a slow link; a longer pause is a client that went away mid-object.
        std::chrono::milliseconds objectPacketTimeout = std::chrono::seconds(10);
        // How long the client may pause between requests otherwise.
        std::chrono::milliseconds idleTimeout = std::chrono::seconds(60);
        // Keeps the time limits of the session; the sessions of one server may share it, and
        // then each costs one thread. When empty, the session keeps its own while it runs.
        std::shared_ptr<Deadlines> deadlines;
        // When set, every request must come from a client that answered this session's latest
        // challenge; the callbacks also answer the client's own challenges once it has.
        Authenticator* authenticator = nullptr;
        // Called with the size of each request packet before it is handled, on the session's
        // thread; a slow link or a slow peer can be simulated here. An I/O error thrown from it
        // drops the client.
        std::function<void(std::size_t)> packetArrived;
    };

    ServerSession(std::unique_ptr<bluetooth::StreamConnection> connection,
                  std::shared_ptr<ServerRequestHandler> handler, Options options);
    // Closes the connection and waits for the session's thread.
    ~ServerSession();
    ServerSession(const ServerSession&) = delete;
    ServerSession& operator=(const ServerSession&) = delete;

    void start();
    // The client has gone (or the session was closed).
    bool finished() const { return thread.finished(); }
    // Ends the session: a request being read fails and the thread ends.
    void close();

private:
    void run();
    // How long the client may stay silent before its next request.
    std::chrono::milliseconds idleLimit(bool first) const;
    // The longest request with this code that the session takes.
    std::size_t packetLimit(std::uint8_t code) const;
    // One request; false when the client disconnected.
    bool serve(const Bytes& packet);
    Bytes onConnect(const Bytes& packet);
    Bytes onPut(const Bytes& packet);
    Bytes onGet(const Bytes& packet);
    Bytes onSetPath(const Bytes& packet);
    // What the authentication headers of a request decided.
    struct Authentication {
        // The client has proved itself, in this request or before; otherwise the reply holds a
        // new challenge.
        bool passed = true;
        // The answer to the client's own challenge: it goes out only with a response that
        // accepts the request, so that nobody gets it without the password.
        std::optional<Bytes> answer;
        // Adds the answer to a reply that goes out with code.
        void answerIn(int code, HeaderSet& reply) const;
    };
    Authentication authenticate(const HeaderSetImpl& request, HeaderSet& reply);

    const std::shared_ptr<ServerCommandHandler> commands;
    const std::shared_ptr<ServerRequestHandler> handler;
    const Options options;
    std::unique_ptr<OperationImpl> putOperation;
    bool putCarriedBody = false;
    std::unique_ptr<OperationImpl> getOperation;
    bool authenticated = false;
    // The client has had a CONNECT response, and with it this session's maximum packet length.
    bool toldMaximum = false;
    bluetooth::OwnedThread thread;
};

}  // namespace flarecast::obex
