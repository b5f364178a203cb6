#include <gtest/gtest.h>

#include "bluetooth/io/Errors.h"
#include "bluetooth/sdp/DataElement.h"
#include "bluetooth/sdp/UUID.h"

namespace flarecast::bluetooth {
namespace {

using DE = DataElement;

TEST(UUID, ShortFormsExpandAgainstTheBaseUUID) {
    const UUID fromText("1106", true);
    const UUID fromLong(0x1106);
    EXPECT_EQ(fromText, fromLong);
    EXPECT_EQ(fromText.toString(), "0000110600001000800000805f9b34fb");
    EXPECT_EQ(fromText, UUID::OBEXFileTransferServiceClass_UUID);
    EXPECT_EQ(UUID("0000110600001000800000805F9B34FB", false), fromLong);
    EXPECT_EQ(UUID("1", false).toString(), "00000000000000000000000000000001");
    EXPECT_EQ(UUID(0xFFFFFFFFLL).toString(), "ffffffff00001000800000805f9b34fb");
    EXPECT_EQ(UUID(0x0003), UUID::RFCOMM_PROTOCOL_UUID);
    EXPECT_EQ(UUID(0x0100), UUID::L2CAP_PROTOCOL_UUID);
    EXPECT_NE(UUID(0x0003), UUID(0x0100));
    EXPECT_EQ(UUID(0x0003).hashCode(), 0x5F9B34FB);
    EXPECT_EQ(UUID("1", false).hashCode(), 1);
}

TEST(UUID, RejectsBadText) {
    struct Case {
        const char* text;
        bool shortForm;
        bool numberFormat;
    };
    const Case cases[] = {
        {"123456789", true, false}, {"", true, false},
        {"", false, false},         {"123456789012345678901234567890123", false, false},
        {"12g4", true, true},       {"-1", true, true},
        {"+1", false, true},        {"00 1", true, true},
    };
    for (const auto& c : cases) {
        if (c.numberFormat) {
            EXPECT_THROW(UUID(c.text, c.shortForm), NumberFormatError) << c.text;
        } else {
            EXPECT_THROW(UUID(c.text, c.shortForm), IllegalArgumentError) << c.text;
        }
    }
    EXPECT_THROW(UUID(0x100000000LL), IllegalArgumentError);
    EXPECT_THROW(UUID(-1), IllegalArgumentError);
}

TEST(DataElement, IntegerRangesAreChecked) {
    struct Case {
        int type;
        std::int64_t value;
        bool accepted;
    };
    const Case cases[] = {
        {DE::U_INT_1, 0, true},
        {DE::U_INT_1, 255, true},
        {DE::U_INT_1, 256, false},
        {DE::U_INT_1, -1, false},
        {DE::U_INT_2, 0xFFFF, true},
        {DE::U_INT_2, 0x10000, false},
        {DE::U_INT_4, 0xFFFFFFFFLL, true},
        {DE::U_INT_4, 0x100000000LL, false},
        {DE::INT_1, -128, true},
        {DE::INT_1, 127, true},
        {DE::INT_1, 128, false},
        {DE::INT_2, -32768, true},
        {DE::INT_2, -32769, false},
        {DE::INT_4, -2147483648LL, true},
        {DE::INT_4, 2147483648LL, false},
        {DE::INT_8, INT64_MIN, true},
        {DE::U_INT_8, 1, false},
        {DE::U_INT_16, 1, false},
        {DE::INT_16, 1, false},
        {DE::STRING, 1, false},
    };
    for (const auto& c : cases) {
        if (c.accepted) {
            EXPECT_EQ(DE(c.type, c.value).getLong(), c.value) << c.type << " " << c.value;
        } else {
            EXPECT_THROW(DE(c.type, c.value), IllegalArgumentError) << c.type << " " << c.value;
        }
    }
}

TEST(DataElement, ObjectPayloadsMustFitTheirType) {
    EXPECT_NO_THROW(DE(DE::U_INT_8, Bytes(8)));
    EXPECT_NO_THROW(DE(DE::U_INT_16, Bytes(16)));
    EXPECT_NO_THROW(DE(DE::INT_16, Bytes(16)));
    EXPECT_THROW(DE(DE::U_INT_16, Bytes(15)), IllegalArgumentError);
    EXPECT_THROW(DE(DE::U_INT_8, Bytes(16)), IllegalArgumentError);
    EXPECT_THROW(DE(DE::STRING, Bytes(8)), IllegalArgumentError);
    EXPECT_THROW(DE(DE::STRING, UUID(1)), IllegalArgumentError);
    EXPECT_THROW(DE(DE::UUID, "text"), IllegalArgumentError);
    EXPECT_THROW(DE(DE::U_INT_1), IllegalArgumentError);
    EXPECT_EQ(DE(DE::URL, "http://x").getDataType(), DE::URL);
    EXPECT_EQ(DE(DE::NULLTYPE).getDataType(), DE::NULLTYPE);
}

TEST(DataElement, AccessorsRaiseTypeErrorsOnTheWrongType) {
    EXPECT_THROW(DE(true).getValue(), TypeError);
    EXPECT_THROW(DE(DE::U_INT_8, Bytes(8)).getLong(), TypeError);
    EXPECT_THROW(DE(DE::U_INT_1, 1).getBoolean(), TypeError);
    EXPECT_THROW(DE(DE::U_INT_1, 1).getValue(), TypeError);
    EXPECT_THROW(DE(DE::NULLTYPE).getValue(), TypeError);
    EXPECT_THROW(DE(DE::STRING, "x").getSize(), TypeError);
    EXPECT_TRUE(DE(true).getBoolean());
    EXPECT_EQ(std::get<std::string>(DE(DE::STRING, "OPP").getValue()), "OPP");
    EXPECT_EQ(std::get<UUID>(DE(DE::UUID, UUID(3)).getValue()), UUID(3));
}

TEST(DataElement, SequencesHoldSharedChildrenByIdentity) {
    const auto seq = DE::make(DE::DATSEQ);
    const auto a = DE::make(DE::U_INT_1, 1);
    const auto b = DE::make(DE::U_INT_1, 1);
    seq->addElement(a);
    seq->addElement(a);
    seq->insertElementAt(b, 0);
    EXPECT_EQ(seq->getSize(), 3U);
    EXPECT_EQ(seq->getChildren()[0], b);
    EXPECT_THROW(seq->insertElementAt(b, 4), IndexError);
    EXPECT_TRUE(seq->removeElement(a));
    EXPECT_EQ(seq->getChildren(), (DE::Children{b, a}));
    EXPECT_FALSE(seq->removeElement(DE::make(DE::U_INT_1, 1)));

    const auto other = DE::make(DE::DATALT);
    other->addElement(a);
    EXPECT_EQ(other->getChildren()[0], seq->getChildren()[1]);

    EXPECT_THROW(seq->addElement(nullptr), NullReferenceError);
    DE notASequence(DE::U_INT_1, 1);
    EXPECT_THROW(notASequence.addElement(nullptr), NullReferenceError);
    EXPECT_THROW(notASequence.addElement(a), TypeError);
    EXPECT_THROW(notASequence.removeElement(a), TypeError);
    EXPECT_THROW(notASequence.insertElementAt(a, 0), TypeError);
}

TEST(DataElement, PrintsItsValue) {
    const auto seq = DE::make(DE::DATSEQ);
    seq->addElement(DE::make(DE::U_INT_1, 5));
    seq->addElement(DE::make(DE::DATALT));
    struct Case {
        DE::Ptr element;
        const char* text;
    };
    const Case cases[] = {
        {seq, "DATSEQ {\n0x5\nDATALT {\n}\n}"},
        {DE::make(DE::INT_1, -1), "0xffffffffffffffff"},
        {DE::make(DE::U_INT_4, 0xABCDEFLL), "0xabcdef"},
        {DE::make(DE::U_INT_2, 0), "0x0"},
        {DE::make(DE::U_INT_8, Bytes{0, 1, 2, 3, 4, 5, 0xAB, 0xFF}), "000102030405abff"},
        {DE::make(DE::UUID, UUID(0x1105)), "0000110500001000800000805f9b34fb"},
        {DE::make(DE::STRING, "OBEX Object Push"), "OBEX Object Push"},
        {DE::make(false), "false"},
        {DE::make(DE::NULLTYPE), "???"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.element->toString(), c.text);
    }
}

}  // namespace
}  // namespace flarecast::bluetooth
