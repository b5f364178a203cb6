#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bluetooth/io/Errors.h"
#include "bluetooth/native/winsock/QueryValues.h"
#include "bluetooth/native/winsock/SdpBlobs.h"
#include "bluetooth/native/winsock/WinsockAddress.h"
#include "bluetooth/native/winsock/WinsockErrors.h"
#include "bluetooth/sdp/SDPInputStream.h"
#include "bluetooth/sdp/SDPOutputStream.h"
#include "tests/common/Hex.h"

namespace flarecast::bluetooth::winsock {
namespace {

using DE = DataElement;
using testing::hex;

Bytes encoded(const DE::Ptr& element) {
    ByteArrayOutputStream bytes;
    SDPOutputStream(bytes).writeElement(*element);
    return bytes.toByteArray();
}

DE::Ptr u16(int value) {
    return DE::make(DE::U_INT_2, std::int64_t{value});
}

DE::Ptr handle(std::int64_t value) {
    return DE::make(DE::U_INT_4, value);
}

// An Object Push record: its handle, service class, protocols on channel 12 and name.
DE::Ptr pushRecord(std::int64_t recordHandle) {
    return DE::sequence({
        u16(0x0000),
        handle(recordHandle),
        u16(0x0001),
        DE::sequence({DE::make(DE::UUID, UUID(0x1105))}),
        u16(0x0004),
        DE::sequence({DE::sequence({DE::make(DE::UUID, UUID(0x0100))}),
                      DE::sequence({DE::make(DE::UUID, UUID(0x0003)),
                                    DE::make(DE::U_INT_1, std::int64_t{12})})}),
        u16(0x0100),
        DE::make(DE::STRING, "OBEX Object Push"),
    });
}

// The attribute ID / value pairs of an attribute list, each value in its SDP bytes.
std::vector<std::pair<int, Bytes>> pairsOf(const Bytes& list) {
    SDPInputStream::AttributePairs pairs;
    SDPInputStream(list).readAttributeList(pairs);
    std::vector<std::pair<int, Bytes>> result;
    for (const auto& [id, value] : pairs) {
        result.emplace_back(id, encoded(value));
    }
    return result;
}

TEST(WinsockAddress, AnAddressIsTheSameNumberForWindowsAndReadsInParentheses) {
    const struct {
        std::int64_t address;
        std::string text;
    } cases[] = {
        {0x00123456789A, "(00:12:34:56:78:9A)"},
        {0xFEDCBA987654, "(FE:DC:BA:98:76:54)"},
        {0, "(00:00:00:00:00:00)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(toBthAddr(c.address), static_cast<std::uint64_t>(c.address)) << c.text;
        EXPECT_EQ(fromBthAddr(toBthAddr(c.address)), c.address) << c.text;
        EXPECT_EQ(addressContext(c.address), c.text);
        EXPECT_EQ(parseAddressContext(c.text), c.address) << c.text;
        EXPECT_EQ(parseAddressContext(c.text.substr(1, 17)), c.address) << c.text;
    }
    // Only the low 48 bits are an address.
    EXPECT_EQ(fromBthAddr(0xFFFF00123456789AULL), 0x00123456789A);
    EXPECT_EQ(parseAddressContext("(fe:dc:ba:98:76:54)"), 0xFEDCBA987654);
    for (const char* bad : {"", "()", "(00:12:34:56:78:9A", "00:12:34:56:78:9A)", "00123456789A",
                            "(00-12-34-56-78-9A)", "(00:12:34:56:78:9G)", "(00:12:34:56:78)"}) {
        EXPECT_EQ(parseAddressContext(bad), std::nullopt) << bad;
    }
}

// A push that fails must read the same as on Linux, whose texts are glibc's.
TEST(WinsockErrors, FailuresUseTheWordsOfLinuxAndLookupsTellNoRecordsFromNoDevice) {
    const struct {
        int error;
        std::optional<std::string> socket;
        std::optional<std::string> connect;
        LookupEnd lookup;
    } cases[] = {
        {10060, "Connection timed out", "Connection timed out", LookupEnd::Unreachable},
        {10061, "Connection refused", "Connection refused", LookupEnd::Unreachable},
        {10064, "Host is down", "Host is down", LookupEnd::Unreachable},
        {10065, "No route to host", "No route to host", LookupEnd::Unreachable},
        {10050, "Network is down", "Network is down", LookupEnd::Unreachable},
        {10054, "Connection reset by peer", "Connection reset by peer", LookupEnd::Unreachable},
        {10053, "Software caused connection abort", "Software caused connection abort",
         LookupEnd::Unreachable},
        {10013, "Permission denied", "Pairing refused by the device", LookupEnd::Failed},
        {10049, "Cannot assign requested address", "Cannot assign requested address",
         LookupEnd::Failed},
        {10108, std::nullopt, std::nullopt, LookupEnd::NoRecords},
        {10110, std::nullopt, std::nullopt, LookupEnd::NoRecords},
        {10102, std::nullopt, std::nullopt, LookupEnd::NoRecords},
        {10014, std::nullopt, std::nullopt, LookupEnd::Failed},
        {1168, std::nullopt, std::nullopt, LookupEnd::Failed},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(socketFailure(c.error), c.socket) << c.error;
        EXPECT_EQ(connectFailure(c.error), c.connect) << c.error;
        EXPECT_EQ(lookupFailure(c.error), c.lookup) << c.error;
    }
    EXPECT_TRUE(noMoreResults(10110));
    EXPECT_TRUE(noMoreResults(10102));
    EXPECT_FALSE(noMoreResults(10108));
}

TEST(WinsockErrors, WithoutBluetoothTheReasonSaysWhatIsMissing) {
    const struct {
        int error;
        std::string reason;
    } cases[] = {
        {10043, "Windows has no Bluetooth radio to use (Winsock error 10043)"},
        {10047, "Windows has no Bluetooth radio to use (Winsock error 10047)"},
        {10044, "Windows has no Bluetooth radio to use (Winsock error 10044)"},
        {10050, "the Bluetooth radio is switched off (Winsock error 10050)"},
        {10055, "Bluetooth sockets cannot be opened: out of buffers (Winsock error 10055)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(noBluetooth(c.error, "out of buffers"), c.reason);
    }
}

TEST(QueryValues, UuidsBecomeGuidsAndSearchesUseTheShortFormWhereThereIsOne) {
    const GuidFields objectPush{
        0x00001105, 0x0000, 0x1000, {0x80, 0x00, 0x00, 0x80, 0x5F, 0x9B, 0x34, 0xFB}};
    EXPECT_EQ(guidOf(UUID(0x1105)), objectPush);
    const UUID own("0123456789abcdef0011223344556677", false);
    const GuidFields ownGuid{
        0x01234567, 0x89AB, 0xCDEF, {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}};
    EXPECT_EQ(guidOf(own), ownGuid);

    const std::vector<UUID> uuids{UUID(0x1105), UUID(0x12345678), own};
    const auto searched = searchUuids(uuids);
    ASSERT_TRUE(searched);
    const std::vector<SearchUuid> expected{
        {0x1105, objectPush},
        {std::nullopt, guidOf(UUID(0x12345678))},
        {std::nullopt, ownGuid},
    };
    EXPECT_EQ(*searched, expected);
    EXPECT_EQ(searchUuids({}), std::nullopt);
    EXPECT_TRUE(searchUuids(std::vector<UUID>(12, UUID(0x0100))));
    EXPECT_EQ(searchUuids(std::vector<UUID>(13, UUID(0x0100))), std::nullopt);
}

TEST(QueryValues, AttributeIdsBecomeTheFewestAscendingRanges) {
    const struct {
        std::vector<int> ids;
        std::vector<AttributeRange> ranges;
    } cases[] = {
        {{}, {}},
        {{0x0000}, {{0x0000, 0x0000}}},
        {{0x0004, 0x0000, 0x0001, 0x0002, 0x0003}, {{0x0000, 0x0004}}},
        {{0x0100, 0x0001, 0x0009, 0x0001, 0x0000},
         {{0x0000, 0x0001}, {0x0009, 0x0009}, {0x0100, 0x0100}}},
        {{0xFFFF, 0xFFFE}, {{0xFFFE, 0xFFFF}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(attributeRanges(c.ids), c.ranges) << ::testing::PrintToString(c.ids);
    }
    EXPECT_THROW(attributeRanges(std::vector<int>{0x10000}), IllegalArgumentError);
    EXPECT_THROW(attributeRanges(std::vector<int>{-1, 4}), IllegalArgumentError);
}

TEST(QueryValues, AnInquiryLastsWholeSecondsRoundedUpWithinWindowsLimits) {
    using std::chrono::milliseconds;
    const std::pair<milliseconds, int> cases[] = {
        {milliseconds(10240), 11}, {milliseconds(1000), 1}, {milliseconds(1001), 2},
        {milliseconds(0), 1},      {milliseconds(300), 1},  {milliseconds(600000), 60},
    };
    for (const auto& [length, seconds] : cases) {
        EXPECT_EQ(inquirySeconds(length), seconds) << length.count();
    }
}

TEST(SdpBlobs, HandlesComeFromEachRecordWhetherABlobHoldsOneRecordOrAList) {
    const std::vector<Bytes> blobs{
        encoded(pushRecord(0x00010001)),
        encoded(DE::sequence({DE::sequence({u16(0x0000), handle(0x00010002)}),
                              DE::sequence({u16(0x0000), handle(0x00010003)})})),
        encoded(DE::sequence({u16(0x0000), DE::make(DE::U_INT_2, std::int64_t{7})})),
    };
    EXPECT_EQ(recordHandles(blobs), (std::vector<int>{0x00010001, 0x00010002, 0x00010003, 7}));
    EXPECT_EQ(recordHandles({}), std::vector<int>{});
}

TEST(SdpBlobs, AttributesAreTheRequestedOnesOfTheRecordWithTheHandleInAscendingOrder) {
    const std::vector<Bytes> blobs{encoded(pushRecord(0x00010001)),
                                   encoded(pushRecord(0x00010002))};
    const std::vector<int> asked{0x0100, 0x0004, 0x0000, 0x0200};
    const auto list = recordAttributes(blobs, 0x00010002, asked);
    const auto pairs = pairsOf(list);
    ASSERT_EQ(pairs.size(), 3U);
    EXPECT_EQ(pairs[0], std::make_pair(0x0000, encoded(handle(0x00010002))));
    EXPECT_EQ(pairs[1].first, 0x0004);
    EXPECT_EQ(pairs[2], std::make_pair(0x0100, encoded(DE::make(DE::STRING, "OBEX Object Push"))));
    EXPECT_EQ(list.front() >> 3, 6) << "one sequence of ID / value pairs";

    EXPECT_EQ(recordAttributes(blobs, 0x00010003, asked), Bytes{}) << "no such record";
    EXPECT_EQ(recordAttributes(blobs, 0x00010001, std::vector<int>{0x0200}), Bytes{})
        << "none of the attributes";
    EXPECT_EQ(recordAttributes({}, 0x00010001, asked), Bytes{});
    // A device that leaves the handle out of its answer still answered for that record.
    const std::vector<Bytes> lone{
        encoded(DE::sequence({u16(0x0100), DE::make(DE::STRING, "Push")}))};
    EXPECT_EQ(
        pairsOf(recordAttributes(lone, 0x00010001, std::vector<int>{0x0100})),
        (std::vector<std::pair<int, Bytes>>{{0x0100, encoded(DE::make(DE::STRING, "Push"))}}));
}

// Whatever a device answers, a blob that is not records is an I/O error, never more.
TEST(SdpBlobs, BytesThatAreNotRecordsAreAnIOError) {
    const std::vector<Bytes> cases = {
        {},
        hex("35 05 09 00"),                                // cut short
        hex("09 00 01"),                                   // not a sequence
        hex("35 03 09 00 01"),                             // an ID without a value
        hex("35 04 08 01 08 02"),                          // an ID that is not 16 bits
        hex("35 07 35 02 09 00 09 00 01"),                 // a list with a record cut short
        hex("35 0c 35 08 09 00 00 0a 00 01 00 01 08 01"),  // a list with a number in it
        hex("35 ff ff ff ff 09"),                          // a length far beyond the bytes
        hex("35 05 09 00 00 28 01"),                       // a handle that is not a number
    };
    for (const auto& bytes : cases) {
        const std::string which = ::testing::PrintToString(bytes);
        EXPECT_THROW(recordHandles({bytes}), IOError) << which;
        EXPECT_THROW(recordAttributes({bytes}, 1, std::vector<int>{0}), IOError) << which;
    }
    EXPECT_THROW(recordHandles({hex("35 05 09 01 00 08 01")}), IOError)
        << "a record without handle";
}

TEST(SdpBlobs, ARecordToPublishLosesItsHandleAndNamesItsFirstServiceClass) {
    const Bytes published = withoutRecordHandle(encoded(pushRecord(0x00010001)));
    const auto pairs = pairsOf(published);
    ASSERT_EQ(pairs.size(), 3U);
    EXPECT_EQ(pairs[0].first, 0x0001);
    EXPECT_EQ(pairs[1].first, 0x0004);
    EXPECT_EQ(pairs[2].first, 0x0100);
    EXPECT_EQ(firstServiceClass(published), UUID(0x1105));
    EXPECT_EQ(firstServiceClass(encoded(DE::sequence({u16(0x0100), DE::make(DE::STRING, "x")}))),
              std::nullopt);
    EXPECT_THROW(withoutRecordHandle(hex("35 03 09 00 01")), IOError);
}

}  // namespace
}  // namespace flarecast::bluetooth::winsock
