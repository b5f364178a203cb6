#include "obex/phone/VirtualPhone.h"

#include <algorithm>
#include <filesystem>

#include "bluetooth/io/Errors.h"
#include "obex/phone/PhoneRequestHandler.h"
#include "obex/phone/StoppableWait.h"
#include "obex/phone/TcpStreamConnection.h"

namespace flarecast::obex {

namespace {

void makeFolder(const std::string& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        throw bluetooth::IOError("Cannot make the folder " + folder + ": " + error.message());
    }
}

}  // namespace

VirtualPhone::VirtualPhone(bluetooth::VirtualPhoneProfile profile, const std::string& host,
                           std::uint16_t port)
    : profile(std::move(profile)),
      authenticator(this->profile.password
                        ? std::make_unique<PasswordAuthenticator>(*this->profile.password)
                        : nullptr),
      listening(bluetooth::TcpSocket::listenOn(host, port)) {
    if (this->profile.saveTo) {
        makeFolder(*this->profile.saveTo);
    }
    acceptor.start([this] { acceptClients(); });
}

VirtualPhone::~VirtualPhone() {
    stop.request_stop();
    listening.shutdown();
    acceptor.join();
    // Each session closes its connection and waits for its thread.
    const std::lock_guard lock(sessionsLock);
    sessions.clear();
}

ServerSession::Options VirtualPhone::sessionOptions() {
    ServerSession::Options options;
    options.maxPacketLength = profile.maxPacket;
    options.authenticator = authenticator.get();
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
        const std::lock_guard lock(sessionsLock);
        std::erase_if(sessions, [](const auto& session) { return session->finished(); });
        sessions.push_back(std::make_unique<ServerSession>(
            std::make_unique<TcpStreamConnection>(std::move(client)),
            std::make_shared<PhoneRequestHandler>(profile, stop.get_token()), sessionOptions()));
        sessions.back()->start();
    }
}

}  // namespace flarecast::obex
