#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>

#include "bluetooth/io/OwnedThread.h"
#include "bluetooth/native/neighbourhood/VirtualPhoneHost.h"
#include "bluetooth/native/TcpSocket.h"
#include "obex/auth/PasswordAuthenticator.h"
#include "obex/server/ServerSession.h"

namespace flarecast::obex {

// How long a virtual phone waits for a client that sends nothing, as phones do; then it drops
// the client.
struct PhonePatience {
    std::chrono::milliseconds firstPacket = std::chrono::seconds(60);
    // While an object is on its way.
    std::chrono::milliseconds betweenPackets = std::chrono::seconds(10);
    std::chrono::milliseconds betweenRequests = std::chrono::seconds(60);
};

// A phone's Object Push service on a TCP port: serves the clients that connect, each in a
// session of its own and at most as many at once as its description says, until it is
// destroyed. A session's thread and socket go as soon as it ends.
class VirtualPhone final : public bluetooth::HostedPhone {
public:
    // Port 0 takes a free one. An I/O error when the port or the folder cannot be had.
    explicit VirtualPhone(bluetooth::VirtualPhoneProfile profile,
                          const std::string& host = "127.0.0.1", std::uint16_t port = 0,
                          PhonePatience patience = {});
    // Ends every session and waits for them.
    ~VirtualPhone() override;
    VirtualPhone(const VirtualPhone&) = delete;
    VirtualPhone& operator=(const VirtualPhone&) = delete;

    std::uint16_t port() const override { return listening.localPort(); }

private:
    struct Served {
        std::unique_ptr<ServerSession> session;
        bool ended = false;
    };

    void acceptClients();
    void serve(bluetooth::TcpSocket client);
    // Destroys each session as it ends.
    void reapSessions();
    void sessionEnded(std::uint64_t id);
    ServerSession::Options sessionOptions();

    const bluetooth::VirtualPhoneProfile profile;
    const PhonePatience patience;
    // The time limits of all its sessions, on one thread.
    const std::shared_ptr<Deadlines> deadlines = std::make_shared<Deadlines>();
    std::stop_source stop;
    std::unique_ptr<PasswordAuthenticator> authenticator;
    bluetooth::TcpSocket listening;
    std::mutex sessionsLock;
    std::condition_variable_any sessionEnds;
    std::map<std::uint64_t, Served> sessions;
    std::uint64_t nextSession = 0;
    bluetooth::OwnedThread reaper;
    bluetooth::OwnedThread acceptor;
};

}  // namespace flarecast::obex
