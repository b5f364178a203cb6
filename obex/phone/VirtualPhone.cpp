#include "obex/phone/VirtualPhone.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "bluetooth/io/Console.h"
#include "bluetooth/io/Errors.h"
#include "bluetooth/io/StoppableWaits.h"
#include "bluetooth/io/Utf8Path.h"
#include "obex/phone/PhoneRequestHandler.h"
#include "obex/phone/StoppableWait.h"
#include "obex/phone/TcpStreamConnection.h"

namespace flarecast::obex {

namespace {

void makeFolder(const std::string& folder) {
    std::error_code error;
    std::filesystem::create_directories(bluetooth::pathFromUtf8(folder), error);
    if (error) {
        throw bluetooth::IOError("Cannot make the folder " + folder + ": " + error.message());
    }
}

}  // namespace

VirtualPhone::VirtualPhone(bluetooth::VirtualPhoneProfile profile, const std::string& host,
                           std::uint16_t port, PhonePatience patience)
    : profile(std::move(profile)),
      patience(patience),
      authenticator(this->profile.password
                        ? std::make_unique<PasswordAuthenticator>(*this->profile.password)
                        : nullptr),
      listening(bluetooth::TcpSocket::listenOn(host, port)) {
    if (this->profile.saveTo) {
        makeFolder(*this->profile.saveTo);
    }
    reaper.start([this] { reapSessions(); });
    try {
        acceptor.start([this] { acceptClients(); });
    } catch (const std::system_error&) {
        stop.request_stop();
        throw;
    }
}

VirtualPhone::~VirtualPhone() {
    stop.request_stop();
    listening.shutdown();
    acceptor.join();
    reaper.join();
    std::map<std::uint64_t, Served> ending;
    {
        const std::lock_guard lock(sessionsLock);
        ending.swap(sessions);
    }
    // Each session closes its connection, which takes the lock, and waits for its thread.
    ending.clear();
}

ServerSession::Options VirtualPhone::sessionOptions() {
    ServerSession::Options options;
    options.maxPacketLength = profile.maxPacket;
    options.authenticator = authenticator.get();
    options.firstPacketTimeout = patience.firstPacket;
    options.objectPacketTimeout = patience.betweenPackets;
    options.idleTimeout = patience.betweenRequests;
    options.deadlines = deadlines;
    // Each request packet crosses the link, then waits for the phone to answer.
    options.packetArrived = [this, token = stop.get_token()](std::size_t size) {
        auto cost = std::chrono::duration_cast<std::chrono::microseconds>(profile.linkLatency +
                                                                          profile.answerDelay);
        if (profile.linkBytesPerSecond) {
            cost += std::chrono::microseconds(static_cast<std::int64_t>(size) * 1000000 /
                                              *profile.linkBytesPerSecond);
        }
        if (!waitUnlessStopped(token, cost)) {
            throw bluetooth::IOError("The phone was switched off");
        }
    };
    return options;
}

void VirtualPhone::acceptClients() {
    while (true) {
        bluetooth::TcpSocket client;
        try {
            client = listening.accept();
        } catch (const bluetooth::IOError&) {
            // A client that gave up before it was taken is no reason to stop serving.
            if (!waitUnlessStopped(stop.get_token(), std::chrono::milliseconds(10))) {
                return;
            }
            continue;
        }
        try {
            serve(std::move(client));
        } catch (const std::exception& error) {
            bluetooth::printLine(error.what());
        }
    }
}

void VirtualPhone::serve(bluetooth::TcpSocket client) {
    std::uint64_t id = 0;
    {
        const std::lock_guard lock(sessionsLock);
        const auto serving =
            std::ranges::count_if(sessions, [](const auto& entry) { return !entry.second.ended; });
        if (serving >= profile.maxSessions) {
            // Busy: the client's connection closes on return.
            return;
        }
        id = nextSession++;
    }
    // Only this thread adds sessions, so the count above still holds.
    auto session = std::make_unique<ServerSession>(
        std::make_unique<TcpStreamConnection>(std::move(client), [this, id] { sessionEnded(id); }),
        std::make_shared<PhoneRequestHandler>(profile, stop.get_token()), sessionOptions());
    ServerSession& added = *session;
    bool started = false;
    {
        // Started under the lock, so that a session that ends at once is not reaped while its
        // start is still under way.
        const std::lock_guard lock(sessionsLock);
        sessions[id].session = std::move(session);
        try {
            added.start();
            started = true;
        } catch (const std::system_error& error) {
            bluetooth::printLine(error.what());
        }
    }
    if (!started) {
        // Without a thread to serve it, the client goes; the session is reaped as it closes.
        added.close();
    }
}

void VirtualPhone::sessionEnded(std::uint64_t id) {
    {
        const std::lock_guard lock(sessionsLock);
        const auto entry = sessions.find(id);
        if (entry == sessions.end()) {
            return;
        }
        entry->second.ended = true;
    }
    sessionEnds.notify_all();
}

void VirtualPhone::reapSessions() {
    const std::stop_token token = stop.get_token();
    std::unique_lock lock(sessionsLock);
    while (bluetooth::stoppableWait(sessionEnds, lock, token, [this] {
        return std::ranges::any_of(sessions, [](const auto& entry) { return entry.second.ended; });
    })) {
        std::vector<std::unique_ptr<ServerSession>> ended;
        for (auto entry = sessions.begin(); entry != sessions.end();) {
            if (entry->second.ended) {
                ended.push_back(std::move(entry->second.session));
                entry = sessions.erase(entry);
            } else {
                ++entry;
            }
        }
        // A session that closes takes the lock; its thread is at its end, so the join is short.
        lock.unlock();
        ended.clear();
        lock.lock();
    }
}

}  // namespace flarecast::obex
