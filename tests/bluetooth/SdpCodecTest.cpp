#include <gtest/gtest.h>

#include "bluetooth/io/Errors.h"
#include "bluetooth/sdp/SDPInputStream.h"
#include "bluetooth/sdp/SDPOutputStream.h"
#include "tests/common/Hex.h"

namespace flarecast::bluetooth {
namespace {

using DE = DataElement;
using flarecast::testing::hex;

Bytes encode(const DE& element) {
    ByteArrayOutputStream bytes;
    SDPOutputStream(bytes).writeElement(element);
    return bytes.toByteArray();
}

// Hands out at most one byte per read, as a slow transport may.
class TrickleInputStream final : public InputStream {
public:
    explicit TrickleInputStream(const Bytes& bytes) : bytes(bytes) {}
    int read() override { return at < bytes.size() ? bytes[at++] : -1; }
    int read(std::span<std::uint8_t> buffer) override {
        if (buffer.empty()) {
            return 0;
        }
        const int byte = read();
        if (byte < 0) {
            return -1;
        }
        buffer[0] = static_cast<std::uint8_t>(byte);
        return 1;
    }

private:
    const Bytes& bytes;
    std::size_t at = 0;
};

// Decodes with the length known, and again from a trickling stream of unknown length.
DE::Ptr decode(const Bytes& bytes) {
    ByteArrayInputStream whole(bytes);
    SDPInputStream known(whole, bytes.size());
    auto element = known.readElement();
    TrickleInputStream trickle(bytes);
    SDPInputStream unknown(trickle);
    EXPECT_EQ(unknown.readElement()->toString(), element->toString());
    EXPECT_EQ(unknown.getPos(), known.getPos());
    return element;
}

TEST(SdpEncoding, WritesEachTypeWithItsFixedHeader) {
    struct Case {
        DE::Ptr element;
        const char* bytes;
    };
    const Case cases[] = {
        {DE::make(DE::NULLTYPE), "00"},
        {DE::make(DE::U_INT_1, 0xAB), "08 AB"},
        {DE::make(DE::U_INT_2, 0x1234), "09 12 34"},
        {DE::make(DE::U_INT_4, 0xFFFFFFFFLL), "0A FF FF FF FF"},
        {DE::make(DE::U_INT_8, hex("0102030405060708")), "0B 0102030405060708"},
        {DE::make(DE::U_INT_16, Bytes(16, 0xEE)), "0C EEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEE"},
        {DE::make(DE::INT_1, -2), "10 FE"},
        {DE::make(DE::INT_2, -2), "11 FF FE"},
        {DE::make(DE::INT_4, -2), "12 FF FF FF FE"},
        {DE::make(DE::INT_8, -2), "13 FF FF FF FF FF FF FF FE"},
        {DE::make(DE::INT_16, Bytes(16, 1)), "14 01010101010101010101010101010101"},
        {DE::make(DE::UUID, UUID(0x1106)), "1C 00001106 0000 1000 8000 00805F9B34FB"},
        {DE::make(DE::STRING, "OPP"), "25 03 4F 50 50"},
        {DE::make(DE::URL, "x"), "45 01 78"},
        {DE::make(true), "28 01"},
        {DE::make(false), "28 00"},
        {DE::make(DE::DATSEQ), "37 00 00 00 00"},
        {DE::make(DE::DATALT), "3F 00 00 00 00"},
        {DE::sequence({DE::make(DE::U_INT_1, 3)}), "37 00 00 00 02 08 03"},
        {DE::sequence({DE::sequence({DE::make(DE::U_INT_1, 3)}, DE::DATALT)}),
         "37 00 00 00 07 3F 00 00 00 02 08 03"},
    };
    for (const auto& c : cases) {
        const Bytes expected = hex(c.bytes);
        EXPECT_EQ(encode(*c.element), expected) << c.element->toString();
        EXPECT_EQ(SDPOutputStream::getLength(*c.element),
                  static_cast<std::int64_t>(expected.size()));
        EXPECT_EQ(decode(expected)->toString(), c.element->toString()) << c.bytes;
    }
}

TEST(SdpEncoding, TextLengthPicksTheSmallestLengthField) {
    struct Case {
        std::size_t length;
        std::uint8_t header;
        std::size_t overhead;
    };
    const Case cases[] = {
        {0, 0x25, 2}, {255, 0x25, 2}, {256, 0x26, 3}, {65535, 0x26, 3}, {65536, 0x27, 5}};
    for (const auto& c : cases) {
        const DE text(DE::STRING, std::string(c.length, 'a'));
        const Bytes bytes = encode(text);
        EXPECT_EQ(bytes[0], c.header) << c.length;
        EXPECT_EQ(bytes.size(), c.length + c.overhead) << c.length;
        EXPECT_EQ(std::get<std::string>(decode(bytes)->getValue()).size(), c.length);
    }
}

TEST(SdpDecoding, AcceptsEveryPublishedSizeIndex) {
    struct Case {
        const char* bytes;
        int type;
        const char* text;
    };
    const Case cases[] = {
        {"35 03 19 01 00", DE::DATSEQ,
         "DATSEQ {\n00000100"
         "00001000800000805f9b34fb\n}"},
        {"1A 00 00 11 06", DE::UUID, "0000110600001000800000805f9b34fb"},
        {"1C 00001106 00001000 80000080 5F9B34FB", DE::UUID, "0000110600001000800000805f9b34fb"},
        {"11 FF FE", DE::INT_2, "0xfffffffffffffffe"},
        {"09 FF FE", DE::U_INT_2, "0xfffe"},
        {"0A FF FF FF FF", DE::U_INT_4, "0xffffffff"},
        {"10 80", DE::INT_1, "0xffffffffffffff80"},
        {"12 80 00 00 00", DE::INT_4, "0xffffffff80000000"},
        {"28 01", DE::BOOL, "true"},
        {"2B 01", DE::BOOL, "true"},
        {"2F 00", DE::BOOL, "false"},
        {"07", DE::NULLTYPE, "???"},
        {"26 00 02 68 69", DE::STRING, "hi"},
        {"27 00 00 00 02 68 69", DE::STRING, "hi"},
        {"46 00 01 78", DE::URL, "x"},
        {"36 00 02 08 05", DE::DATSEQ, "DATSEQ {\n0x5\n}"},
        {"3D 02 08 01", DE::DATALT, "DATALT {\n0x1\n}"},
        {"35 00", DE::DATSEQ, "DATSEQ {\n}"},
        {"08 05 FF FF", DE::U_INT_1, "0x5"},
    };
    for (const auto& c : cases) {
        const auto element = decode(hex(c.bytes));
        EXPECT_EQ(element->getDataType(), c.type) << c.bytes;
        EXPECT_EQ(element->toString(), c.text) << c.bytes;
    }
    EXPECT_EQ(std::get<UUID>(decode(hex("1A 00 00 11 06"))->getValue()),
              UUID::OBEXFileTransferServiceClass_UUID);
    EXPECT_EQ(decode(hex("11 FF FE"))->getLong(), -2);
}

// depth sequences, each holding the next; the innermost is empty.
Bytes deeplyNested(int depth) {
    Bytes bytes;
    for (int level = 0; level < depth; ++level) {
        bytes.push_back(0x35);
        bytes.push_back(static_cast<std::uint8_t>(2 * (depth - 1 - level)));
    }
    return bytes;
}

TEST(SdpDecoding, RejectsMalformedInputWithAnIOError) {
    const char* cases[] = {
        "4D",  // type 9
        "1B 00 00 00 00 00 00 00 00",
        "18 00",  // UUID with size index 3 and 0
        "0D",
        "15 00",  // integer size indices 5
        "30 00",
        "34 00",                 // sequence size indices 0 and 4
        "",                      // nothing at all
        "09 12",                 // integer cut short
        "1C 00 01",              // UUID cut short
        "25 05 61 62",           // text shorter than its length
        "27 FF FF FF FF 61",     // a 4 GiB length over one byte of input
        "37 7F FF FF FF 08 01",  // a sequence longer than its input
        "35 02 09 00 01",        // a child that runs past its sequence's end
        "35 04 35 01 08 05",     // the same, one level down
    };
    std::vector<Bytes> inputs;
    for (const char* bytesText : cases) {
        inputs.push_back(hex(bytesText));
    }
    inputs.push_back(deeplyNested(SDPInputStream::kMaxNesting + 1));
    for (const Bytes& bytes : inputs) {
        const std::string bytesText = hexString(bytes.data(), bytes.size());
        ByteArrayInputStream known(bytes);
        EXPECT_THROW(SDPInputStream(known, bytes.size()).readElement(), IOError) << bytesText;
        ByteArrayInputStream unknown(bytes);
        EXPECT_THROW(SDPInputStream(unknown).readElement(), IOError) << bytesText;
    }
}

TEST(SdpDecoding, AcceptsNestingUpToTheLimit) {
    const auto element = decode(deeplyNested(SDPInputStream::kMaxNesting));
    EXPECT_EQ(element->getDataType(), DE::DATSEQ);
}

TEST(SdpDecoding, CountsConsumedBytes) {
    const Bytes bytes = hex("35 03 19 01 00 08 07");
    ByteArrayInputStream in(bytes);
    SDPInputStream sdp(in);
    sdp.readElement();
    EXPECT_EQ(sdp.getPos(), 5U);
    EXPECT_EQ(sdp.readElement()->getLong(), 7);
    EXPECT_EQ(sdp.getPos(), 7U);
}

}  // namespace
}  // namespace flarecast::bluetooth
