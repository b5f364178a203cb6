#include <gtest/gtest.h>

#include <future>
#include <numeric>
#include <thread>

#include "ScriptedPeer.h"
#include "bluetooth/io/Errors.h"
#include "obex/Errors.h"
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
            const HeaderSetImpl headers = parseHeaders(3, packet);
            for (const int id : {HeaderSet::BODY, HeaderSet::END_OF_BODY}) {
                if (const auto bytes = headers.get<Bytes>(id)) {
                    body.insert(body.end(), bytes->begin(), bytes->end());
                }
            }
        }
    }
    return body;
}

// The length a packet announces.
std::size_t announced(const Bytes& packet) {
    return static_cast<std::size_t>(packet[1] << 8 | packet[2]);
}

void writeInPieces(bluetooth::OutputStream& out, const Bytes& data, std::size_t piece) {
    for (std::size_t at = 0; at < data.size(); at += piece) {
        out.write(std::span(data).subspan(at, std::min(piece, data.size() - at)));
    }
}

TEST(PutOperation, TheObjectsHeadersGoOnlyInTheOpeningRequest) {
    struct Case {
        int mtu;
        std::size_t bodyPackets;
    };
    for (const auto& c : {Case{255, 4}, Case{8192, 0}}) {
        Connected connected(c.mtu);
        for (std::size_t i = 0; i <= c.bodyPackets; ++i) {
            connected.peer->answer(kContinue);
        }
        connected.peer->answer(hex("A0 0003"));
        HeaderSetImpl headers;
        headers.setHeader(HeaderSet::NAME, std::string("a.txt"));
        headers.setHeader(HeaderSet::TYPE, std::string("text/plain"));
        headers.setHeader(HeaderSet::LENGTH, std::int64_t{1000});
        const auto put = connected.session.put(&headers);
        put->openOutputStream()->write(counting(1000));
        put->close();
        const auto requests = connected.requests();
        ASSERT_EQ(requests.size(), c.bodyPackets + 2) << c.mtu;
        EXPECT_EQ(requests[0][0], 0x02);
        EXPECT_EQ(parseHeaders(3, requests[0]).getHeaderList(),
                  (std::vector<int>{HeaderSet::NAME, HeaderSet::TYPE, HeaderSet::LENGTH}));
        for (std::size_t i = 1; i < requests.size(); ++i) {
            EXPECT_EQ(parseHeaders(3, requests[i]).getHeaderList().size(), 1U) << c.mtu << " " << i;
        }
        EXPECT_EQ(put->getResponseCode(), 0xA0);
    }
}

TEST(PutOperation, ASmallObjectGoesInTheFinalPacket) {
    Connected connected(8192);
    connected.peer->answer(kContinue);
    connected.peer->answer(hex("A0 0003"));
    const auto put = connected.session.put(nullptr);
    put->openOutputStream()->write(counting(3));
    EXPECT_EQ(connected.requests().size(), 1U);
    put->close();
    const auto requests = connected.requests();
    ASSERT_EQ(requests.size(), 2U);
    EXPECT_EQ(requests[0], hex("02 0003"));
    EXPECT_EQ(requests[1], hex("82 0009 49 0006 000102"));
    EXPECT_EQ(put->getResponseCode(), 0xA0);
}

TEST(PutOperation, BodyPacketsAreAsLargeAsThePeerAccepts) {
    struct Case {
        int mtu;
        bool connectionId;
        std::size_t size;
        // How the object is written: 1 goes through write(int).
        std::size_t piece;
        // Headers given with sendHeaders before the first write.
        bool lateHeaders;
        // The body bytes of each packet after the opening one, the final one last.
        std::vector<std::size_t> bodies;
    };
    const Case cases[] = {
        {8192, false, 20000, 2048, false, {8186, 8186, 3628}},
        {8192, true, 20000, 2048, false, {8181, 8181, 3638}},
        {255, false, 600, 1, false, {249, 249, 102}},
        {255, true, 1000, 2048, false, {244, 244, 244, 244, 24}},
        // A last full packet's worth is the final packet, not an empty one after it.
        {1024, false, 2036, 100, false, {1018, 1018}},
        {1024, false, 2048, 2048, true, {998, 1018, 32}},
        {1024, true, 2048, 2048, true, {993, 1013, 42}},
        {8192, false, 0, 1, false, {0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.mtu << (c.connectionId ? " with id, " : ", ")
                                          << c.size << " in " << c.piece);
        Connected connected(c.mtu, c.connectionId);
        // The opening request and each body packet are answered with continue.
        for (std::size_t i = 0; i < c.bodies.size(); ++i) {
            connected.peer->answer(kContinue);
        }
        connected.peer->answer(hex("A0 0003"));
        const auto put = connected.session.put(nullptr);
        if (c.lateHeaders) {
            HeaderSetImpl headers;
            headers.setHeader(HeaderSet::TARGET, Bytes(17));
            ASSERT_EQ(hsToByteArray(&headers).size(), 20U);
            put->sendHeaders(headers);
        }
        const Bytes data = counting(c.size);
        const auto out = put->openOutputStream();
        if (c.piece == 1) {
            for (const std::uint8_t byte : data) {
                out->write(byte);
            }
        } else {
            writeInPieces(*out, data, c.piece);
        }
        put->close();
        auto requests = connected.requests();
        requests.erase(requests.begin());
        ASSERT_EQ(requests.size(), c.bodies.size());
        const std::size_t idBytes = c.connectionId ? 5 : 0;
        for (std::size_t i = 0; i < requests.size(); ++i) {
            const bool last = i + 1 == requests.size();
            const Bytes& packet = requests[i];
            // Each packet is one write, no larger than the peer accepts, and a full one but
            // for the last.
            EXPECT_EQ(announced(packet), packet.size()) << i;
            EXPECT_LE(packet.size(), static_cast<std::size_t>(c.mtu)) << i;
            EXPECT_EQ(packet[0], last ? 0x82 : 0x02) << i;
            const HeaderSetImpl headers = parseHeaders(3, packet);
            const int bodyId = last ? HeaderSet::END_OF_BODY : HeaderSet::BODY;
            EXPECT_EQ(headers.get<Bytes>(bodyId).value_or(Bytes(1)).size(), c.bodies[i]) << i;
            EXPECT_EQ(headers.getHeader(HeaderSet::TARGET).has_value(), c.lateHeaders && i == 0)
                << i;
            EXPECT_EQ(headers.getHeader(HeaderSet::CONNECTION_ID).has_value(), c.connectionId);
            if (!last) {
                EXPECT_EQ(packet.size(), static_cast<std::size_t>(c.mtu)) << i;
            }
            EXPECT_EQ(packet.size(), 6 + idBytes + c.bodies[i] + (c.lateHeaders && i == 0 ? 20 : 0))
                << i;
        }
        EXPECT_EQ(bodiesOf(requests), data);
        EXPECT_EQ(put->getResponseCode(), 0xA0);
    }
}

TEST(PutOperation, HeadersGivenLateGoWithTheNextPacket) {
    struct Case {
        std::size_t size;
        // The body bytes of each packet after the opening one, the final one last.
        std::vector<std::size_t> bodies;
    };
    // With the headers, 229 body bytes fit in a packet of 255.
    const Case cases[] = {{3, {3}}, {240, {229, 11}}};
    for (const auto& c : cases) {
        Connected connected(255);
        for (std::size_t i = 0; i < c.bodies.size(); ++i) {
            connected.peer->answer(kContinue);
        }
        connected.peer->answer(hex("A0 0003"));
        const auto put = connected.session.put(nullptr);
        const Bytes data = counting(c.size);
        put->openOutputStream()->write(data);
        HeaderSetImpl headers;
        headers.setHeader(HeaderSet::TARGET, Bytes(17));
        put->sendHeaders(headers);
        put->close();
        auto requests = connected.requests();
        requests.erase(requests.begin());
        ASSERT_EQ(requests.size(), c.bodies.size()) << c.size;
        EXPECT_TRUE(parseHeaders(3, requests[0]).getHeader(HeaderSet::TARGET).has_value());
        for (const auto& packet : requests) {
            EXPECT_LE(packet.size(), 255U);
        }
        EXPECT_EQ(requests.back().size(),
                  3 + 3 + c.bodies.back() + (c.bodies.size() == 1 ? 20 : 0));
        EXPECT_EQ(bodiesOf(requests), data);
        EXPECT_EQ(put->getResponseCode(), 0xA0);
    }
}

TEST(PutOperation, AnEmptyWriteSendsNothing) {
    Connected connected(8192);
    connected.peer->answer(kContinue);
    connected.peer->answer(hex("A0 0003"));
    const auto put = connected.session.put(nullptr);
    const auto out = put->openOutputStream();
    out->write(Bytes{});
    out->flush();
    EXPECT_EQ(connected.requests().size(), 1U);
    put->close();
    EXPECT_EQ(connected.requests().back(), hex("82 0006 49 0003"));
}

TEST(PutOperation, FlushSendsWhatIsKeptAsABodyPacket) {
    Connected connected(8192);
    connected.peer->answer(kContinue);
    connected.peer->answer(kContinue);
    connected.peer->answer(hex("A0 0003"));
    const auto put = connected.session.put(nullptr);
    const auto out = put->openOutputStream();
    out->write(counting(3));
    out->flush();
    EXPECT_EQ(connected.requests().back(), hex("02 0009 48 0006 000102"));
    put->close();
    EXPECT_EQ(connected.requests().back(), hex("82 0006 49 0003"));
}

TEST(PutOperation, AbortDropsWhatIsKept) {
    Connected connected(8192);
    connected.peer->answer(kContinue);
    connected.peer->answer(hex("A0 0003"));
    const auto put = connected.session.put(nullptr);
    const auto out = put->openOutputStream();
    out->write(counting(100));
    put->abort();
    put->close();
    const auto requests = connected.requests();
    ASSERT_EQ(requests.size(), 2U);
    EXPECT_EQ(requests[1], hex("FF 0006 49 0003"));
    EXPECT_THROW(out->write(counting(1)), bluetooth::IOError);
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
        } catch (const ResponseError& error) {
            EXPECT_EQ(error.getMessage(), "Command not accepted 195(2)");
            EXPECT_EQ(error.responseCode(), 0xC3);
        }
    }
    // A refused body packet, sent by a write or by closing.
    struct Case {
        std::size_t size;
        bool lateHeaders;
    };
    for (const auto& c : {Case{1000, false}, Case{240, true}}) {
        Connected connected(255);
        connected.peer->answer(kContinue);
        connected.peer->answer(hex("CD 0003"));
        const auto put = connected.session.put(nullptr);
        const auto out = put->openOutputStream();
        try {
            out->write(counting(c.size));
            if (c.lateHeaders) {
                HeaderSetImpl headers;
                headers.setHeader(HeaderSet::TARGET, Bytes(17));
                put->sendHeaders(headers);
                put->close();
            } else {
                ADD_FAILURE() << "no refusal";
            }
        } catch (const ResponseError& error) {
            EXPECT_EQ(error.getMessage(), "Error while sending PUT command 205");
            EXPECT_EQ(error.responseCode(), 0xCD);
        }
        EXPECT_EQ(put->getResponseCode(), 0xCD);
        // Nothing more goes out.
        put->close();
        EXPECT_THROW(out->write(counting(1)), bluetooth::IOError);
        EXPECT_EQ(connected.requests().size(), 2U) << c.size;
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
        // More than a packet's worth: one body packet goes out.
        auto writing = std::async(std::launch::async, [&out] { out->write(counting(9000)); });
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
    } catch (const ResponseError& error) {
        EXPECT_EQ(error.getMessage(), "Command not accepted 196(3)");
        EXPECT_EQ(error.responseCode(), 0xC4);
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
