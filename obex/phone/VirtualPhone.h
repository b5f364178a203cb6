#pragma once

#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

#include "bluetooth/io/OwnedThread.h"
#include "bluetooth/native/neighbourhood/VirtualPhoneHost.h"
#include "bluetooth/native/posix/TcpSocket.h"
#include "obex/auth/PasswordAuthenticator.h"
#include "obex/server/ServerSession.h"

namespace flarecast::obex {

// A phone's Object Push service on a TCP port: serves every client that connects, each in a
// session of its own, as its description says, until it is destroyed.
class VirtualPhone final : public bluetooth::HostedPhone {
public:
    // Port 0 takes a free one. An I/O error when the port or the folder cannot be had.
    explicit VirtualPhone(bluetooth::VirtualPhoneProfile profile,
                          const std::string& host = "127.0.0.1", std::uint16_t port = 0);
    // Ends every session and waits for them.
    ~VirtualPhone() override;
    VirtualPhone(const VirtualPhone&) = delete;
    VirtualPhone& operator=(const VirtualPhone&) = delete;

    std::uint16_t port() const override { return listening.localPort(); }

private:
    void acceptClients();
    ServerSession::Options sessionOptions();

    const bluetooth::VirtualPhoneProfile profile;
    std::stop_source stop;
    std::unique_ptr<PasswordAuthenticator> authenticator;
    bluetooth::TcpSocket listening;
    std::mutex sessionsLock;
    std::vector<std::unique_ptr<ServerSession>> sessions;
    bluetooth::OwnedThread acceptor;
};

}  // namespace flarecast::obex
