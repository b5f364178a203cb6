#include <gtest/gtest.h>

#include "ServedSession.h"
#include "tests/common/Hex.h"

namespace flarecast::obex {
namespace {

using flarecast::testing::hex;
using testing::body;
using testing::packet;
using testing::Served;

const Bytes kConnect = hex("80 0007 10 00 2000");

TEST(ServerSession, AnswersEachRequestAsTheDefaultHandlerDoes) {
    ::testing::internal::CaptureStdout();
    Served served;
    served.client->answer(kConnect);
    served.client->answer(hex("85 0005 02 00"));  // SETPATH
    served.client->answer(hex("42 0003"));        // no such request
    served.client->answer(hex("FF 0003"));        // ABORT
    served.client->answer(hex("81 0003"));        // DISCONNECT
    const auto responses = served.responses(5);
    EXPECT_TRUE(served.ends());
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Received unidentifier command ! 66\n");
    EXPECT_EQ(responses, (std::vector<Bytes>{hex("A0 0007 10 00 2000"), hex("C5 0003"),
                                             hex("D1 0003"), hex("A0 0003"), hex("A0 0003")}));
}

TEST(ServerSession, EachPutIsItsOwnObjectAndOnlyAPutWithoutBodyIsADelete) {
    Served served;
    served.client->answer(kConnect);
    served.client->answer(packet(0x02, {}, body(HeaderSet::BODY, {1, 2}, "a.txt")));
    served.client->answer(packet(0x82, {}, body(HeaderSet::END_OF_BODY, {3})));
    served.client->answer(packet(0x82, {}, body(HeaderSet::END_OF_BODY, {}, "empty.txt")));
    HeaderSetImpl onlyName;
    onlyName.setHeader(HeaderSet::NAME, std::string("gone.txt"));
    served.client->answer(packet(0x82, {}, onlyName));
    const auto responses = served.responses(5);
    ASSERT_EQ(responses.size(), 5U);
    EXPECT_EQ(responses[1], hex("90 0003"));
    EXPECT_EQ(responses[2], hex("A0 0003"));
    EXPECT_EQ(responses[3], hex("A0 0003"));
    EXPECT_EQ(responses[4], hex("A0 0003"));
    const std::lock_guard guard(served.handler->lock);
    EXPECT_EQ(served.handler->objects, (std::vector<std::pair<std::string, Bytes>>{
                                           {"a.txt", {1, 2, 3}}, {"empty.txt", {}}}));
    EXPECT_EQ(served.handler->deletes, 1);
}

TEST(ServerSession, GetResponsesStayWithinTheClientsPacketSize) {
    for (const auto& [announced, limit] :
         std::vector<std::pair<const char*, std::size_t>>{{"0100", 256}, {"0010", 255}}) {
        Served served;
        served.handler->getObject = Bytes(1000, 0x5A);
        Bytes connect = hex("80 0007 10 00 0000");
        connect[5] = hex(announced)[0];
        connect[6] = hex(announced)[1];
        served.client->answer(connect);
        for (int i = 0; i < 10; ++i) {
            served.client->answer(hex("83 0003"));
        }
        const auto responses = served.responses(6);
        Bytes received;
        for (std::size_t i = 1; i < responses.size(); ++i) {
            EXPECT_LE(responses[i].size(), limit);
            const HeaderSetImpl headers = parseHeaders(3, responses[i]);
            const auto part = headers.get<Bytes>(responses[i][0] == 0x90 ? HeaderSet::BODY
                                                                         : HeaderSet::END_OF_BODY);
            ASSERT_TRUE(part.has_value());
            received.insert(received.end(), part->begin(), part->end());
            if (responses[i][0] == 0xA0) {
                break;
            }
        }
        EXPECT_EQ(received, served.handler->getObject) << announced;
    }
}

TEST(ServerSession, ARefusedGetIsAnsweredWithItsCode) {
    Served served;
    served.handler->getCode = ResponseCodes::OBEX_HTTP_NOT_FOUND;
    served.client->answer(kConnect);
    served.client->answer(hex("83 0003"));
    EXPECT_EQ(served.responses(2).back(), hex("C4 0003"));
}

TEST(ServerSession, AnObjectTooLargeForMemoryIsRefusedAndTheSessionGoesOn) {
    ServerSession::Options options;
    options.maxPacketLength = 0xFFFF;
    Served served(options);
    served.client->answer(hex("80 0007 10 00 FFFF"));
    const Bytes chunk(0xFFF0, 7);
    // The last of these takes the object over the limit.
    const std::size_t packets = ServerSession::kMaxObjectInMemory / chunk.size() + 1;
    for (std::size_t i = 0; i < packets; ++i) {
        served.client->answer(packet(0x02, {}, body(HeaderSet::BODY, chunk)));
    }
    served.client->answer(packet(0x82, {}, body(HeaderSet::END_OF_BODY, {1}, "small.txt")));
    const auto responses = served.responses(packets + 2);
    ASSERT_EQ(responses.size(), packets + 2);
    EXPECT_EQ(responses[packets], hex("CD 0003"));
    EXPECT_EQ(responses[packets + 1], hex("A0 0003"));
}

TEST(ServerSession, AClientThatStopsInTheMiddleOfAPacketIsDropped) {
    ServerSession::Options options;
    options.packetTimeout = std::chrono::milliseconds(100);
    Served served(options);
    served.client->answer(kConnect);
    served.client->answer(hex("82 0010 48"));
    EXPECT_TRUE(served.ends());
    EXPECT_EQ(served.client->sent().size(), 1U);
}

}  // namespace
}  // namespace flarecast::obex
