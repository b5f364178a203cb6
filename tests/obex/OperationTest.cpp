#include <gtest/gtest.h>

#include <future>
#include <numeric>
#include <thread>

#include "ScriptedPeer.h"
#include "bluetooth/io/Errors.h"
#include "obex/headers/HeaderCodec.h"
#include "obex/operations/OperationImpl.h"
#include "obex/session/OBEXConnection.h"
#include "tests/common/Hex.h"

namespace flarecast::obex {
namespace {

using flarecast::testing::hex;
using testing::PeerScript;
using testing::ScriptedConnection;

const Bytes kContinue = hex("90 0003");

Bytes counting(std::size_t size) {
    Bytes bytes(size);
    std::iota(bytes.begin(), bytes.end(), std::uint8_t{0});
    return bytes;
}

// A session connected to a scripted peer that announced the given packet size.
struct Connected {
    std::shared_ptr<PeerScript> peer = std::make_shared<PeerScript>();
    OBEXConnection session{std::make_unique<ScriptedConnection>(peer)};

    explicit Connected(int mtu, bool withConnectionId = false) {
        Bytes answer =
            hex(withConnectionId ? "A0 000C 10 00 0000 CB 00000007" : "A0 0007 10 00 0000");
        answer[5] = static_cast<std::uint8_t>(mtu >> 8);
        answer[6] = static_cast<std::uint8_t>(mtu);
        peer->answer(answer);
        // A script that runs short fails fast instead of waiting out the real time-out.
        session.setResponseTimeout(std::chrono::seconds(5));
        session.connect(nullptr);
    }
    // The packets sent after CONNECT.
    std::vector<Bytes> requests() {
        auto sent = peer->sent();
        sent.erase(sent.begin());
        return sent;
    }
};

// The body bytes of the PUT packets, in order.
Bytes bodiesOf(const std::vector<Bytes>& packets) {
    Bytes body;
    for (const auto& packet : packets) {
        if ((packet[0] & 0x7F) == 0x02) {
            if (const auto bytes = parseHeaders(3, packet).get<Bytes>(HeaderSet::BODY)) {
                body.insert(body.end(), bytes->begin(), bytes->end());
            }
        }
    }
    return body;
}

TEST(PutOperation, AWriteWithinThePacketSizeIsOnePacket) {
    Connected connected(8192);
    connected.peer->answer(kContinue);
    connected.peer->answer(kContinue);
    connected.peer->answer(hex("A0 0003"));
    const auto put = connected.session.put(nullptr);
    put->openOutputStream()->write(counting(2048));
    put->close();
    const auto requests = connected.requests();
    ASSERT_EQ(requests.size(), 3U);
    EXPECT_EQ(requests[0], hex("02 0003"));
    EXPECT_EQ(Bytes(requests[1].begin(), requests[1].begin() + 6), hex("02 0806 48 0803"));
    EXPECT_EQ(requests[1].size(), 2054U);
    EXPECT_EQ(requests[2], hex("82 0006 49 0003"));
    EXPECT_EQ(put->getResponseCode(), 0xA0);
}

TEST(PutOperation, LargeWritesAreCutToThePeersPacketSize) {
    struct Case {
        int mtu;
        bool connectionId;
        std::size_t size;
        std::vector<std::size_t> chunks;
    };
    // 20 bytes of pending headers: NAME "abcd.jpg" (21) would be 21; "abc.jpg" makes 19+...
    const Case cases[] = {
        {1024, false, 2048, {998, 998, 52}},
        {1024, true, 2048, {993, 993, 62}},
        {255, false, 0, {0}},
    };
    for (const auto& c : cases) {
        Connected connected(c.mtu, c.connectionId);
        for (std::size_t i = 0; i < c.chunks.size() + 2; ++i) {
            connected.peer->answer(kContinue);
        }
        HeaderSetImpl headers;
        headers.setHeader(HeaderSet::TARGET, Bytes(17));
        ASSERT_EQ(hsToByteArray(&headers).size(), 20U);
        const auto put = connected.session.put(&headers);
        const Bytes data = counting(c.size);
        put->openOutputStream()->write(data);
        auto requests = connected.requests();
        requests.erase(requests.begin());
        ASSERT_EQ(requests.size(), c.chunks.size()) << c.mtu;
        for (std::size_t i = 0; i < requests.size(); ++i) {
            EXPECT_LE(requests[i].size(), static_cast<std::size_t>(c.mtu));
            EXPECT_EQ(
                parseHeaders(3, requests[i]).get<Bytes>(HeaderSet::BODY).value_or(Bytes{}).size(),
                c.chunks[i]);
            EXPECT_EQ(parseHeaders(3, requests[i]).getHeader(HeaderSet::TARGET).has_value(),
                      i == 0);
        }
        EXPECT_EQ(bodiesOf(requests), data);
    }
}

TEST(PutOperation, AnEmptyWriteSendsAnEmptyBody) {
    Connected connected(8192);
    connected.peer->answer(kContinue);
    connected.peer->answer(kContinue);
    const auto put = connected.session.put(nullptr);
    put->openOutputStream()->write(Bytes{});
    EXPECT_EQ(connected.requests().back(), hex("02 0006 48 0003"));
}

TEST(PutOperation, ClosingRecordsARefusalWithoutAnError) {
    Connected connected(8192, true);
    connected.peer->answer(kContinue);
    connected.peer->answer(hex("C3 0003"));
    const auto put = connected.session.put(nullptr);
    put->close();
    EXPECT_EQ(connected.requests().back(), hex("82 000B CB 00000007 49 0003"));
    EXPECT_EQ(put->getResponseCode(), 0xC3);
}

TEST(PutOperation, RefusalsEndTheOperation) {
    {
        Connected connected(8192);
        connected.peer->answer(hex("C3 0003"));
        try {
            connected.session.put(nullptr);
            ADD_FAILURE();
        } catch (const bluetooth::IOError& error) {
            EXPECT_EQ(error.getMessage(), "Command not accepted 195(2)");
        }
    }
    Connected connected(8192);
    connected.peer->answer(kContinue);
    connected.peer->answer(hex("CD 0003"));
    const auto put = connected.session.put(nullptr);
    try {
        put->openOutputStream()->write(counting(10));
        ADD_FAILURE();
    } catch (const bluetooth::IOError& error) {
        EXPECT_EQ(error.getMessage(), "Error while sending PUT command 205");
    }
}

TEST(PutOperation, ItsStreamMayBeInUseWhileTheOperationAndTheSessionGo) {
    for (const bool sessionGoesToo : {false, true}) {
        auto peer = std::make_shared<PeerScript>();
        auto session = std::make_unique<OBEXConnection>(std::make_unique<ScriptedConnection>(peer));
        session->setResponseTimeout(std::chrono::seconds(5));
        peer->answer(hex("A0 0007 10 00 2000"));
        session->connect(nullptr);
        peer->answer(kContinue);
        auto put = session->put(nullptr);
        const auto out = put->openOutputStream();
        auto writing = std::async(std::launch::async, [&out] { out->write(counting(10)); });
        // The body packet is out and its answer awaited.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (peer->sent().size() < 3 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        ASSERT_EQ(peer->sent().size(), 3U);
        put.reset();
        if (sessionGoesToo) {
            session.reset();
            EXPECT_THROW(writing.get(), bluetooth::IOError);
        } else {
            peer->answer(kContinue);
            EXPECT_NO_THROW(writing.get());
        }
        EXPECT_THROW(out->write(counting(1)), bluetooth::IOError);
    }
}

TEST(GetOperation, ReceivesTheWholeObjectBeforeReturning) {
    Connected connected(8192);
    connected.peer->answer(hex("90 0013 C3 00000004 42 0007 74657874 48 0004 01"));
    connected.peer->answer(hex("90 0007 48 0004 02"));
    connected.peer->answer(hex("A0 0008 49 0005 0304"));
    HeaderSetImpl request;
    request.setHeader(HeaderSet::NAME, std::string("x"));
    const auto get = connected.session.get(&request);
    const auto requests = connected.requests();
    ASSERT_EQ(requests.size(), 3U);
    EXPECT_EQ(requests[0][0], 0x83);
    EXPECT_EQ(requests[1], hex("83 0003"));
    EXPECT_EQ(get->getLength(), 4);
    EXPECT_EQ(get->getType(), "text");
    EXPECT_EQ(get->getEncoding(), std::nullopt);
    const auto in = get->openInputStream();
    Bytes body(10);
    EXPECT_EQ(in->read(body), 4);
    EXPECT_EQ(Bytes(body.begin(), body.begin() + 4), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(in->read(body), -1);
    get->close();
    EXPECT_EQ(connected.requests().size(), 3U);
    in->close();
    EXPECT_THROW(in->read(), bluetooth::IOError);
}

TEST(GetOperation, AContinuationThatIsRefusedEndsWithAnIOError) {
    Connected connected(8192);
    connected.peer->answer(hex("90 0003"));
    connected.peer->answer(hex("C4 0003"));
    try {
        connected.session.get(nullptr);
        ADD_FAILURE();
    } catch (const bluetooth::IOError& error) {
        EXPECT_EQ(error.getMessage(), "Command not accepted 196(3)");
    }
    EXPECT_EQ(connected.requests().size(), 2U);
}

TEST(OBEXInputStream, GrowsByDoublingAndKeepsUnreadBytes) {
    OBEXInputStream in(true);
    EXPECT_EQ(in.capacity(), 100U);
    in.newData(counting(300));
    EXPECT_EQ(in.capacity(), 400U);
    Bytes first(250);
    EXPECT_EQ(in.read(first), 250);
    in.newData(counting(200));
    EXPECT_EQ(in.available(), 250U);
    Bytes rest(300);
    EXPECT_EQ(in.read(rest), 250);
    EXPECT_EQ(rest[0], 250);
    EXPECT_EQ(rest[50], 0);
}

}  // namespace
}  // namespace flarecast::obex
