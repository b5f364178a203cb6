#include <gtest/gtest.h>

#include "ServedSession.h"
#include "tests/common/Hex.h"

namespace flarecast::obex {
namespace {

using flarecast::testing::hex;
using testing::body;
using testing::connectWith;
using testing::packet;
using testing::Served;

// A PUT of exactly size bytes.
Bytes putOfSize(std::size_t size, int code = 0x02) {
    // Packet head, body header head and the body.
    return packet(code, {}, body(HeaderSet::BODY, Bytes(size - 6, 'x')));
}

TEST(ServerPacketSize, ARequestLongerThanAnnouncedIsRefusedUnreadAndTheClientDropped) {
    struct Case {
        const char* what;
        bool connected;
        Bytes request;
        // Only the first bytes go out: the answer must not wait for the rest.
        std::size_t sent;
    };
    const Case cases[] = {
        {"PUT of 10000", true, putOfSize(10000), 10000},
        {"PUT of 65532, only its head sent", true, putOfSize(65532), 3},
        {"CONNECT of 9000", false, connectWith(body(HeaderSet::WHO, Bytes(8990, 'w'))), 9000},
        // Until a CONNECT response told it more, a client may count on the OBEX minimum alone.
        {"PUT of 256 before any CONNECT", false, putOfSize(256), 256},
    };
    for (const auto& c : cases) {
        Served served;  // announces 8192
        if (c.connected) {
            served.client->answer(hex("80 0007 10 00 FFFF"));
        }
        served.client->answer(Bytes(c.request.begin(), c.request.begin() + c.sent));
        const std::size_t expected = c.connected ? 2 : 1;
        const auto responses = served.responses(expected);
        ASSERT_EQ(responses.size(), expected) << c.what;
        EXPECT_EQ(responses.back(), hex("CD 0003")) << c.what;
        EXPECT_TRUE(served.ends()) << c.what;
        const std::lock_guard guard(served.handler->lock);
        EXPECT_EQ(served.handler->putPackets, 0) << c.what;
    }
}

TEST(ServerPacketSize, RequestsUpToTheLimitAreTaken) {
    for (const bool connected : {false, true}) {
        const std::size_t size = connected ? 8192 : 255;
        Served served;
        if (connected) {
            served.client->answer(hex("80 0007 10 00 FFFF"));
        }
        served.client->answer(putOfSize(size));
        served.client->answer(putOfSize(7, 0x82));
        const auto responses = served.responses(connected ? 3 : 2);
        ASSERT_GE(responses.size(), 2U) << size;
        EXPECT_EQ(responses[responses.size() - 2], hex("90 0003")) << size;
        EXPECT_EQ(responses.back(), hex("A0 0003")) << size;
        const std::lock_guard guard(served.handler->lock);
        ASSERT_EQ(served.handler->objects.size(), 1U) << size;
        EXPECT_EQ(served.handler->objects[0].second.size(), size - 6 + 1) << size;
    }
}

}  // namespace
}  // namespace flarecast::obex
