#pragma once

#include <memory>
#include <mutex>

#include "bluetooth/connections/Connection.h"
#include "obex/server/ServerSession.h"

namespace flarecast::obex {

// An OBEX server on an RFCOMM notifier: serves one client at a time, each on a session thread
// of its own.
class SessionNotifierImpl final : public bluetooth::Connection {
public:
    explicit SessionNotifierImpl(std::unique_ptr<bluetooth::StreamConnectionNotifier> notifier);
    ~SessionNotifierImpl() override;

    // Waits for the next client and starts its session; returns once the client is connected.
    // An I/O error while a client is still connected, or after close.
    void acceptAndOpen(std::shared_ptr<ServerRequestHandler> handler,
                       Authenticator* authenticator = nullptr);
    // The current client's session has ended.
    bool clientGone() const;
    bluetooth::StreamConnectionNotifier& getNotifier() { return *notifier; }
    // Ends the current session and the notifier.
    void close() override;

private:
    const std::unique_ptr<bluetooth::StreamConnectionNotifier> notifier;
    mutable std::mutex lock;
    std::unique_ptr<ServerSession> session;
    bool accepting = false;
    bool closed = false;
};

}  // namespace flarecast::obex
