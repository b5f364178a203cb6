#include <gtest/gtest.h>

#include <thread>

#include "ServedSession.h"
#include "SocketPeer.h"
#include "tests/common/Eventually.h"
#include "tests/common/Hex.h"
#include "tests/common/ProcessCounts.h"

namespace flarecast::obex {
namespace {

using flarecast::testing::eventually;
using flarecast::testing::hex;
using flarecast::testing::openHandlesOfThisProcess;
using flarecast::testing::threadsOfThisProcess;
using std::chrono::milliseconds;
using testing::body;
using testing::packet;
using testing::RawClient;
using testing::Served;

using Limit = milliseconds ServerSession::Options::*;

constexpr milliseconds kShort(100);
constexpr milliseconds kNever = std::chrono::hours(1);

// Every limit out of reach but the one a case is about.
ServerSession::Options onlyLimit(Limit limit) {
    ServerSession::Options options;
    options.packetTimeout = kNever;
    options.firstPacketTimeout = kNever;
    options.objectPacketTimeout = kNever;
    options.idleTimeout = kNever;
    options.*limit = kShort;
    return options;
}

TEST(ServerIdle, AClientSilentLongerThanItsLimitIsDropped) {
    const Bytes connect = hex("80 0007 10 00 2000");
    struct Case {
        const char* what;
        std::vector<Bytes> requests;
        Limit limit;
    };
    const Case cases[] = {
        {"silent from the start", {}, &ServerSession::Options::firstPacketTimeout},
        {"silent inside a PUT",
         {connect, packet(0x02, {}, body(HeaderSet::BODY, {1, 2}, "a.txt"))},
         &ServerSession::Options::objectPacketTimeout},
        {"silent inside a GET",
         {connect, hex("83 0003")},
         &ServerSession::Options::objectPacketTimeout},
        {"silent after an object",
         {connect, packet(0x82, {}, body(HeaderSet::END_OF_BODY, {1, 2}, "a.txt"))},
         &ServerSession::Options::idleTimeout},
    };
    for (const auto& c : cases) {
        Served served(onlyLimit(c.limit));
        served.handler->getObject = Bytes(20000, 'g');
        for (const Bytes& request : c.requests) {
            served.client->answer(request);
        }
        EXPECT_TRUE(served.ends()) << c.what;
        const auto responses = served.responses(c.requests.size());
        ASSERT_EQ(responses.size(), c.requests.size()) << c.what;
        for (const Bytes& response : responses) {
            EXPECT_TRUE(response[0] == 0x90 || response[0] == 0xA0) << c.what;
        }
    }
}

TEST(ServerIdle, EndedSessionsHoldNoThreadAndNoDescriptor) {
    constexpr std::size_t kClients = 8;
    // A sanitizer's runtime starts a thread of its own with the process's first thread; it must
    // be there before the count starts.
    std::thread([] {}).join();
    for (const bool shared : {true, false}) {
        const std::size_t threadsBefore = threadsOfThisProcess();
        const std::size_t descriptorsBefore = openHandlesOfThisProcess();
        auto deadlines = shared ? std::make_shared<Deadlines>() : nullptr;
        std::vector<std::unique_ptr<RawClient>> clients;
        std::vector<std::unique_ptr<ServerSession>> sessions;
        for (std::size_t i = 0; i < kClients; ++i) {
            auto [client, connection] = RawClient::pair();
            auto options = onlyLimit(&ServerSession::Options::firstPacketTimeout);
            options.deadlines = deadlines;
            sessions.push_back(std::make_unique<ServerSession>(
                std::move(connection), std::make_shared<testing::RecordingHandler>(), options));
            sessions.back()->start();
            clients.push_back(std::move(client));
        }
        if (shared) {
            // One thread a session, and the one that keeps their limits.
            EXPECT_LE(threadsOfThisProcess(), threadsBefore + kClients + 1);
        }
        for (const auto& client : clients) {
            EXPECT_TRUE(client->closedWithin()) << "shared: " << shared;
        }
        // The sessions are still there, but their threads and descriptors are gone.
        const std::size_t keeper = shared ? 1 : 0;
        EXPECT_TRUE(eventually([&] { return threadsOfThisProcess() <= threadsBefore + keeper; }))
            << threadsOfThisProcess() << " threads, " << threadsBefore << " before";
        clients.clear();
        EXPECT_TRUE(eventually([&] { return openHandlesOfThisProcess() <= descriptorsBefore; }))
            << openHandlesOfThisProcess() << " descriptors, " << descriptorsBefore << " before";
        for (const auto& session : sessions) {
            EXPECT_TRUE(session->finished());
        }
        sessions.clear();
        deadlines.reset();
        EXPECT_LE(threadsOfThisProcess(), threadsBefore);
    }
}

}  // namespace
}  // namespace flarecast::obex
