#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "bluetooth/connections/Connection.h"
#include "bluetooth/io/OwnedThread.h"
#include "obex/auth/Authenticator.h"
#include "obex/server/ServerRequestHandler.h"

namespace flarecast::obex {

class ServerCommandHandler;
class OperationImpl;

// One client of an OBEX server: reads its requests on a thread of its own, hands them to the
// handler and writes the responses, until the client disconnects, the connection fails or the
// session is closed.
class ServerSession {
public:
    // The most of one object that the session holds in memory; a larger PUT is refused unless
    // the handler drains it as it arrives.
    static constexpr std::size_t kMaxObjectInMemory = 32 * 1024 * 1024;

    struct Options {
        // Announced in the CONNECT response: the largest packet the client may send.
        int maxPacketLength = 0x2000;
        // How long the client may take to finish a packet it has begun, or to take a response.
        std::chrono::milliseconds packetTimeout = std::chrono::seconds(30);
        // When set, every request must come from a client that answered this session's
        // challenge; the callbacks also answer the client's own challenges.
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
    // One request; false when the client disconnected.
    bool serve(const Bytes& packet);
    Bytes onConnect(const Bytes& packet);
    Bytes onPut(const Bytes& packet);
    Bytes onGet(const Bytes& packet);
    Bytes onSetPath(const Bytes& packet);
    // The checks of a request's authentication headers; false when the client must first
    // answer a challenge.
    bool authenticate(const HeaderSetImpl& request, HeaderSet& reply);

    const std::shared_ptr<ServerCommandHandler> commands;
    const std::shared_ptr<ServerRequestHandler> handler;
    const Options options;
    std::unique_ptr<OperationImpl> putOperation;
    bool putCarriedBody = false;
    std::unique_ptr<OperationImpl> getOperation;
    bool authenticated = false;
    bluetooth::OwnedThread thread;
};

}  // namespace flarecast::obex
