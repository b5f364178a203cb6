#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <future>
#include <span>
#include <string>

#include "bluetooth/io/Errors.h"
#include "bluetooth/native/TcpSocket.h"

// What the callers of TcpSocket rely on, alike over Linux's sockets and over Winsock's.

namespace flarecast::bluetooth {
namespace {

constexpr auto kBound = std::chrono::seconds(60);
const std::string kLoopback = "127.0.0.1";

struct Connected {
    TcpSocket listening = TcpSocket::listenOn(kLoopback, 0);
    TcpSocket client = TcpSocket::connectTo(kLoopback, listening.localPort());
    TcpSocket server = listening.accept();
};

std::size_t receiveSome(TcpSocket& socket) {
    std::array<std::uint8_t, 16> buffer{};
    return socket.receive(buffer);
}

TEST(TcpSocket, AfterShutdownReceiveEndsTheStreamAndSendAndAcceptFail) {
    Connected pair;
    pair.server.shutdown();
    EXPECT_EQ(receiveSome(pair.server), 0U);
    const std::array<std::uint8_t, 1> byte{7};
    EXPECT_THROW(pair.server.sendAll(byte), IOError);
    pair.listening.shutdown();
    EXPECT_THROW(pair.listening.accept(), IOError);
}

// Whether each shutdown comes before the other thread's call or while it waits, the call ends
// the same way.
TEST(TcpSocket, AShutdownFromAnotherThreadEndsABlockedReceiveAndAccept) {
    Connected pair;
    auto received = std::async(std::launch::async, [&pair] { return receiveSome(pair.server); });
    auto accepted = std::async(std::launch::async, [&pair] { pair.listening.accept(); });
    pair.server.shutdown();
    pair.listening.shutdown();
    const bool receiveEnded = received.wait_for(kBound) == std::future_status::ready;
    const bool acceptEnded = accepted.wait_for(kBound) == std::future_status::ready;
    if (!receiveEnded) {
        // Ends the stuck thread by the peer's end of stream, so that the failure is reported.
        pair.client.shutdown();
    }
    ASSERT_TRUE(receiveEnded);
    EXPECT_EQ(received.get(), 0U);
    ASSERT_TRUE(acceptEnded);
    EXPECT_THROW(accepted.get(), IOError);
}

TEST(TcpSocket, TheEndOfTheStreamIsAReceiveOfNothing) {
    Connected pair;
    const std::array<std::uint8_t, 3> bytes{1, 2, 3};
    pair.client.sendAll(bytes);
    pair.client = TcpSocket();
    std::array<std::uint8_t, 3> got{};
    std::size_t count = 0;
    while (count < got.size()) {
        const std::size_t more = pair.server.receive(std::span(got).subspan(count));
        ASSERT_NE(more, 0U);
        count += more;
    }
    EXPECT_EQ(got, bytes);
    EXPECT_EQ(receiveSome(pair.server), 0U);
}

// A server on a fixed port that is stopped and started again: the connection it closed first
// still lingers on the port.
TEST(TcpSocket, AFixedPortListensAgainRightAfterItsServerClosedAConnection) {
    std::uint16_t port = 0;
    {
        Connected pair;
        port = pair.listening.localPort();
        pair.server = TcpSocket();
        EXPECT_EQ(receiveSome(pair.client), 0U);
    }
    EXPECT_NO_THROW(TcpSocket::listenOn(kLoopback, port));
}

}  // namespace
}  // namespace flarecast::bluetooth
