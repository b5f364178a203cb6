#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "PhoneClient.h"
#include "RawClient.h"
#include "bluetooth/native/TcpSocket.h"
#include "obex/phone/TcpStreamConnection.h"
#include "obex/phone/VirtualPhone.h"
#include "obex/session/OBEXConnection.h"
#include "tests/common/ProcessCounts.h"

namespace flarecast::obex {
namespace {

using bluetooth::TcpSocket;
using flarecast::testing::openHandlesOfThisProcess;
using flarecast::testing::threadsOfThisProcess;
using Profile = bluetooth::VirtualPhoneProfile;
using std::chrono::milliseconds;

bool eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(milliseconds(1));
    }
    return true;
}

// Each round starts a phone whose every wait is long, sends it clients that are inside those
// waits or in the middle of a packet, and destroys it from another thread: it must stop at
// once, and leave no descriptor or thread behind.
TEST(VirtualPhoneStress, APhoneDestroyedWhileClientsAreInsideItEndsAtOnceAndLeavesNothing) {
    // Once first, for the threads that a runtime starts with the process's first thread.
    VirtualPhone(Profile{}).port();
    const std::size_t descriptorsBefore = openHandlesOfThisProcess();
    const std::size_t threadsBefore = threadsOfThisProcess();
    for (int round = 0; round < 40; ++round) {
        Profile profile;
        profile.preset = Profile::Preset::Strict;
        profile.prompt = Profile::Prompt::Ignore;
        profile.promptTimeout = std::chrono::minutes(10);
        if (round % 2 == 1) {
            profile.linkLatency = std::chrono::minutes(10);
        }
        auto phone = std::make_unique<VirtualPhone>(profile);
        const std::uint16_t port = phone->port();
        std::jthread pusher([port] {
            try {
                OBEXConnection session(
                    std::make_unique<TcpStreamConnection>(TcpSocket::connectTo("127.0.0.1", port)));
                session.connect(nullptr);
                testing::Object photo = testing::named("a.jpg");
                photo.type = "image/jpeg";
                testing::push(session, photo);
            } catch (const bluetooth::IOError&) {
            }
        });
        // A packet begun and never finished.
        TcpSocket half = TcpSocket::connectTo("127.0.0.1", port);
        half.sendAll(std::vector<std::uint8_t>{0x80, 0x00, 0x20, 0x10});
        std::this_thread::sleep_for(milliseconds(round % 4));
        auto destroyed = std::async(std::launch::async, [&phone] { phone.reset(); });
        ASSERT_EQ(destroyed.wait_for(std::chrono::seconds(10)), std::future_status::ready)
            << "round " << round;
    }
    EXPECT_TRUE(eventually([&] { return openHandlesOfThisProcess() <= descriptorsBefore; }))
        << openHandlesOfThisProcess() << " descriptors open, " << descriptorsBefore << " before";
    EXPECT_TRUE(eventually([&] { return threadsOfThisProcess() <= threadsBefore; }))
        << threadsOfThisProcess() << " threads, " << threadsBefore << " before";
}

// A phone serves as many clients at once as its description says and closes the connection of
// one more at once; a session that ends takes its threads and socket with it, whether the
// client said goodbye or dropped the link, without waiting for another client.
TEST(VirtualPhoneStress, APhoneServesItsBoundOfClientsAndLetsEndedSessionsGoAtOnce) {
    Profile profile;
    profile.maxSessions = 4;
    VirtualPhone phone(profile);
    const std::size_t descriptorsBefore = openHandlesOfThisProcess();
    const std::size_t threadsBefore = threadsOfThisProcess();
    for (int round = 0; round < 3; ++round) {
        std::vector<std::unique_ptr<testing::RawClient>> clients;
        for (int i = 0; i < profile.maxSessions; ++i) {
            clients.push_back(std::make_unique<testing::RawClient>(phone.port()));
            ASSERT_EQ(clients.back()->exchange(testing::connectPacket()),
                      ResponseCodes::OBEX_HTTP_OK)
                << "round " << round << ", client " << i;
        }
        {
            testing::RawClient oneMore(phone.port());
            EXPECT_TRUE(oneMore.closedByPhone()) << "round " << round;
        }
        for (std::size_t i = 0; i < clients.size(); i += 2) {
            EXPECT_EQ(clients[i]->exchange(testing::disconnectPacket()),
                      ResponseCodes::OBEX_HTTP_OK);
        }
        clients.clear();
        EXPECT_TRUE(eventually([&] { return openHandlesOfThisProcess() <= descriptorsBefore; }))
            << openHandlesOfThisProcess() << " descriptors open, " << descriptorsBefore
            << " before";
        EXPECT_TRUE(eventually([&] { return threadsOfThisProcess() <= threadsBefore; }))
            << threadsOfThisProcess() << " threads, " << threadsBefore << " before";
    }
}

}  // namespace
}  // namespace flarecast::obex
