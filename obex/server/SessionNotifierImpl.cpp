#include "obex/server/SessionNotifierImpl.h"

#include "bluetooth/io/Errors.h"
#include "obex/session/OBEXConnection.h"

namespace flarecast::obex {

SessionNotifierImpl::SessionNotifierImpl(
    std::unique_ptr<bluetooth::StreamConnectionNotifier> notifier)
    : notifier(std::move(notifier)) {}

SessionNotifierImpl::~SessionNotifierImpl() {
    try {
        close();
    } catch (const bluetooth::Error&) {
    }
}

void SessionNotifierImpl::acceptAndOpen(std::shared_ptr<ServerRequestHandler> handler,
                                        Authenticator* authenticator) {
    {
        const std::lock_guard guard(lock);
        if (closed) {
            throw bluetooth::IOError(
                "ConnectionNotifier is null ! maybe it was closed previousely..");
        }
        if (accepting || (session && !session->finished())) {
            throw bluetooth::IOError("Connection already connected");
        }
        accepting = true;
    }
    std::unique_ptr<bluetooth::StreamConnection> connection;
    try {
        // Without the lock, so that close can end the wait.
        connection = notifier->acceptAndOpen();
    } catch (...) {
        const std::lock_guard guard(lock);
        accepting = false;
        throw;
    }
    std::unique_ptr<ServerSession> ended;
    const std::lock_guard guard(lock);
    accepting = false;
    if (closed) {
        throw bluetooth::IOError("ConnectionNotifier is null ! maybe it was closed previousely..");
    }
    ServerSession::Options options;
    options.maxPacketLength = OBEXConnection::kDefaultMTU;
    options.authenticator = authenticator;
    ended = std::exchange(session, std::make_unique<ServerSession>(std::move(connection),
                                                                   std::move(handler), options));
    session->start();
}

bool SessionNotifierImpl::clientGone() const {
    const std::lock_guard guard(lock);
    return !session || session->finished();
}

void SessionNotifierImpl::close() {
    std::unique_ptr<ServerSession> ending;
    {
        const std::lock_guard guard(lock);
        if (closed) {
            return;
        }
        closed = true;
        ending = std::move(session);
    }
    // Ends a pending accept; the session's thread is joined as it goes.
    notifier->close();
}

}  // namespace flarecast::obex
