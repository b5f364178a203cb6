#include <gtest/gtest.h>

#include "bluetooth/io/Errors.h"
#include "obex/headers/HeaderCodec.h"
#include "tests/common/Hex.h"

namespace flarecast::obex {
namespace {

using flarecast::testing::hex;

HeaderSetImpl setOf(std::initializer_list<std::pair<int, HeaderValue>> headers) {
    HeaderSetImpl set;
    for (const auto& [id, value] : headers) {
        set.setHeader(id, value);
    }
    return set;
}

TEST(HeaderCodec, EncodesEachIdAsItsTableSays) {
    struct Case {
        HeaderSetImpl headers;
        const char* bytes;
    };
    const Case cases[] = {
        {setOf({{HeaderSet::NAME, std::string("a.jpg")}}), "01 000F 0061 002E 006A 0070 0067 0000"},
        {setOf({{HeaderSet::NAME, std::string("")}}), "01 0005 0000"},
        {setOf({{HeaderSet::NAME, std::string("é")}}), "01 0007 00E9 0000"},
        {setOf({{HeaderSet::TYPE, std::string("image")}}), "42 0009 696D616765 00"},
        {setOf({{HeaderSet::TYPE, std::string("é")}}), "42 0005 E9 00"},
        {setOf({{HeaderSet::LENGTH, std::int64_t{5000}}}), "C3 00001388"},
        {setOf({{HeaderSet::COUNT, std::int64_t{0x1FFFFFFFF}}}), "C0 FFFFFFFF"},
        {setOf({{HeaderSet::TARGET, Bytes{1, 2}}}), "46 0005 0102"},
        {setOf({{0x30, Bytes{}}}), "30 0003"},
        {setOf({{HeaderSet::BODY, Bytes{9}},
                {HeaderSet::NAME, std::string("a")},
                {HeaderSet::TYPE, std::string("t")}}),
         "01 0007 0061 0000 42 0005 74 00 48 0004 09"},
        {setOf({{HeaderSet::CONNECTION_ID, std::int64_t{1}}, {HeaderSet::LENGTH, std::int64_t{1}}}),
         "C3 00000001"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(hsToByteArray(&c.headers), hex(c.bytes)) << c.bytes;
    }
    EXPECT_TRUE(hsToByteArray(nullptr).empty());
}

TEST(HeaderCodec, AValueOfTheWrongKindCannotBeSent) {
    const HeaderSetImpl textAsBytes = setOf({{HeaderSet::TARGET, std::string("x")}});
    EXPECT_THROW(hsToByteArray(&textAsBytes), bluetooth::TypeError);
    const HeaderSetImpl numberAsText = setOf({{HeaderSet::NAME, std::int64_t{1}}});
    EXPECT_THROW(hsToByteArray(&numberAsText), bluetooth::TypeError);
}

TEST(HeaderCodec, DecodesWhatPeersSend) {
    const Bytes packet =
        hex("A0 0000 "                                // code and length (not read here)
            "01 000F 0061 002E 006A 0070 0067 0000 "  // NAME a.jpg
            "42 0008 696D616765 "                     // TYPE without its null
            "4A 0003 "                                // WHO, empty: nothing stored
            "CB 0000002A "                            // CONNECTION_ID 42
            "C3 00001388 "                            // LENGTH 5000
            "48 0005 AABB");                          // body
    const HeaderSetImpl headers = parseHeaders(3, packet);
    EXPECT_EQ(headers.get<std::string>(HeaderSet::NAME), "a.jpg");
    EXPECT_EQ(headers.get<std::string>(HeaderSet::TYPE), "image");
    EXPECT_FALSE(headers.getHeader(HeaderSet::WHO).has_value());
    EXPECT_EQ(headers.get<std::int64_t>(HeaderSet::CONNECTION_ID), 42);
    EXPECT_EQ(headers.get<std::int64_t>(HeaderSet::LENGTH), 5000);
    EXPECT_EQ(headers.get<Bytes>(HeaderSet::BODY), (Bytes{0xAA, 0xBB}));
    EXPECT_THROW(headers.getResponseCode(), bluetooth::IOError);
    // An empty end of body is kept: it ends an object.
    EXPECT_EQ(parseHeaders(3, hex("82 0006 49 0003")).get<Bytes>(HeaderSet::END_OF_BODY), Bytes{});
}

TEST(HeaderCodec, TextHeadersAreUtf16OnTheAir) {
    struct Case {
        std::string text;
        const char* units;
    };
    const Case cases[] = {
        {"Grüße-åäö.txt", "0047 0072 00FC 00DF 0065 002D 00E5 00E4 00F6 002E 0074 0078 0074"},
        {"€", "20AC"},
        {"😀.jpg", "D83D DE00 002E 006A 0070 0067"},
    };
    for (const auto& c : cases) {
        const Bytes units = hex(c.units);
        Bytes expected = {HeaderSet::NAME, 0, static_cast<std::uint8_t>(units.size() + 5)};
        expected.insert(expected.end(), units.begin(), units.end());
        expected.insert(expected.end(), {0, 0});
        const HeaderSetImpl headers = setOf({{HeaderSet::NAME, c.text}});
        EXPECT_EQ(hsToByteArray(&headers), expected) << c.text;
    }
}

TEST(HeaderCodec, DecodesUtf16TextAndReplacesWhatIsNotText) {
    struct Case {
        const char* packet;
        std::string text;
    };
    const Case cases[] = {
        {"A0 0000 01 000B 00E5 00E4 00F6 0000", "åäö"},
        {"A0 0000 01 0009 00E5 00E4 00F6", "åäö"},  // no terminating null
        {"A0 0000 01 000B D83D DE00 0061 0000", "😀a"},
        {"A0 0000 01 0009 D83D 0061 0000", "\uFFFDa"},  // high surrogate alone
        {"A0 0000 01 0007 DE00 0000", "\uFFFD"},        // low surrogate alone
        {"A0 0000 01 0007 D83D 0000", "\uFFFD"},        // high surrogate at the end
        {"A0 0000 01 0006 0061 00", "a"},               // odd length
        {"A0 0000 01 000B 0061 0000 0062 0000", "a"},   // text ends at the first null
    };
    for (const auto& c : cases) {
        const Bytes packet = hex(c.packet);
        EXPECT_EQ(parseHeaders(3, packet).get<std::string>(HeaderSet::NAME), c.text) << c.packet;
    }
}

TEST(HeaderCodec, InvalidUtf8IsSentAsReplacementCharacters) {
    // A lone continuation byte, a cut-short sequence, an overlong form, an encoded surrogate.
    const std::string text =
        "a\x80"
        "b\xC3 \xC0\xAF\xED\xA0\x80";
    const HeaderSetImpl headers = setOf({{HeaderSet::NAME, text}});
    const Bytes sent = hsToByteArray(&headers);
    Bytes packet = {0x02, 0, 0};
    packet.insert(packet.end(), sent.begin(), sent.end());
    EXPECT_EQ(parseHeaders(3, packet).get<std::string>(HeaderSet::NAME),
              "a\uFFFDb\uFFFD \uFFFD\uFFFD");
}

TEST(HeaderCodec, RoundTripsText) {
    for (const char* text : {"", "a.jpg", "offer – ünïcode.txt", "x y", "日本語 😀.vcf"}) {
        const HeaderSetImpl sent = setOf(
            {{HeaderSet::NAME, std::string(text)}, {HeaderSet::DESCRIPTION, std::string(text)}});
        Bytes packet = {0x02, 0, 0};
        const Bytes headers = hsToByteArray(&sent);
        packet.insert(packet.end(), headers.begin(), headers.end());
        const HeaderSetImpl received = parseHeaders(3, packet);
        EXPECT_EQ(received.get<std::string>(HeaderSet::NAME), text);
        EXPECT_EQ(received.get<std::string>(HeaderSet::DESCRIPTION), text);
    }
}

TEST(HeaderCodec, MalformedHeadersAreReportedAndNothingOutsideThePacketIsRead) {
    struct Case {
        const char* bytes;
        const char* printed;
        int keptHeader;
    };
    const Case cases[] = {
        {"A0 0000 48 00FF AABB", "255 3 8\n", 0},       // body longer than the packet
        {"A0 0000 C3 0000", "0 3 6\n", 0},              // LENGTH cut short
        {"A0 0000 4A 0001 48 0004 01", "1 3 10\n", 0},  // length below 3 ends decoding
        {"A0 0000 42 0002", "2 3 6\n", 0},              // TYPE shorter than its header
        {"A0 0000 C3 00000001 49", "0 8 9\n", HeaderSet::LENGTH},
        {"A0 0000 01 0004 00", "", HeaderSet::NAME},  // NAME below its own minimum
    };
    for (const auto& c : cases) {
        // An exact-size copy so that a read past the end is caught by the sanitizers.
        const Bytes bytes = hex(c.bytes);
        ::testing::internal::CaptureStdout();
        const HeaderSetImpl headers = parseHeaders(3, bytes);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.printed) << c.bytes;
        const auto ids = headers.getHeaderList();
        EXPECT_EQ(ids.size(), c.keptHeader == 0 ? 0U : 1U) << c.bytes;
        if (c.keptHeader != 0 && !ids.empty()) {
            EXPECT_EQ(ids[0], c.keptHeader);
        }
    }
}

TEST(HeaderSet, KeepsOneValuePerIdWithTheBodyLast) {
    HeaderSetImpl set;
    set.setHeader(HeaderSet::BODY, Bytes{1});
    set.setHeader(HeaderSet::NAME, std::string("a"));
    set.setHeader(HeaderSet::NAME, std::string("b"));
    set.setHeader(HeaderSet::TYPE, std::string("t"));
    EXPECT_EQ(set.getHeaderList(),
              (std::vector<int>{HeaderSet::NAME, HeaderSet::TYPE, HeaderSet::BODY}));
    EXPECT_EQ(set.get<std::string>(HeaderSet::NAME), "b");
    set.setHeader(HeaderSet::TYPE, std::nullopt);
    EXPECT_FALSE(set.getHeader(HeaderSet::TYPE).has_value());
    try {
        set.getResponseCode();
        ADD_FAILURE();
    } catch (const bluetooth::IOError& error) {
        EXPECT_EQ(error.getMessage(), "No Response code for this HeaderSet");
    }
    set.setRespCode(0x1A0);
    EXPECT_EQ(set.getResponseCode(), 0xA0);
}

}  // namespace
}  // namespace flarecast::obex
