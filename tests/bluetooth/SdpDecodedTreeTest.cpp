// Decoded elements share their decoder's memory and get a shared pointer only when one is asked
// for; they must still live exactly as long as something reaches them.
#include <gtest/gtest.h>

#include <thread>

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

DE::Ptr decode(const Bytes& bytes) {
    return SDPInputStream(bytes).readElement();
}

// {{L2CAP}, {RFCOMM, 9}, "OBEX Object Push"}
const char* const kProtocols =
    "35 1E 35 03 19 0100 35 05 19 0003 08 09 25 10 4F424558 204F626A 65637420 50757368";

TEST(SdpDecodedTree, ChildrenOutliveTheirSequenceAndDecoder) {
    DE::Ptr rfcomm;
    DE::Ptr channel;
    DE::Ptr name;
    {
        const DE::Ptr protocols = decode(hex(kProtocols));
        const DE::Children children = protocols->getChildren();
        ASSERT_EQ(children.size(), 3U);
        EXPECT_EQ(children[1], protocols->getChildren()[1]);
        std::vector<DE::Ptr> visited;
        protocols->forEachChild([&visited](const DE::Ptr& child) { visited.push_back(child); });
        EXPECT_EQ(visited, children);
        rfcomm = children[1];
        channel = rfcomm->getChildren()[1];
        name = children[2];
    }
    EXPECT_EQ(channel->getLong(), 9);
    EXPECT_EQ(std::get<UUID>(rfcomm->getChildren()[0]->getValue()), UUID::RFCOMM_PROTOCOL_UUID);
    EXPECT_EQ(std::get<std::string>(name->getValue()), "OBEX Object Push");
    rfcomm.reset();
    EXPECT_EQ(channel->toString(), "0x9");
}

TEST(SdpDecodedTree, ChangesKeepTheIdentityOfDecodedChildren) {
    const DE::Ptr protocols = decode(hex(kProtocols));
    const DE::Children before = protocols->getChildren();
    const auto added = DE::make(DE::U_INT_1, 7);
    protocols->addElement(added);
    protocols->insertElementAt(before[2], 0);
    EXPECT_TRUE(protocols->removeElement(before[1]));
    EXPECT_FALSE(protocols->removeElement(before[1]));
    EXPECT_EQ(protocols->getChildren(), (DE::Children{before[2], before[0], before[2], added}));
    EXPECT_EQ(encode(*protocols), encode(*DE::sequence({before[2], before[0], before[2], added})));
}

TEST(SdpDecodedTree, ASequenceHoldingItsOwnChildThroughAnotherIsFreed) {
    std::weak_ptr<DE> wrapperGone;
    {
        const DE::Ptr protocols = decode(hex(kProtocols));
        const auto wrapper = DE::make(DE::DATSEQ);
        wrapper->addElement(protocols->getChildren()[0]);
        protocols->getChildren()[1]->addElement(wrapper);
        wrapperGone = wrapper;
    }
    EXPECT_TRUE(wrapperGone.expired());
}

TEST(SdpDecodedTree, ElementsMayBeLetGoOnAnyThread) {
    for (int round = 0; round < 20; ++round) {
        DE::Ptr protocols = decode(hex(kProtocols));
        DE::Children children = protocols->getChildren();
        std::thread other([&protocols, first = children[0]]() mutable {
            protocols.reset();
            first.reset();
        });
        children.clear();
        other.join();
    }
}

TEST(SdpDecodedTree, LargeInputSpansSeveralChunks) {
    // A sequence of 3000 elements, then 2000 bytes of text; both read twice from one stream.
    Bytes record = hex("37 00 00 17 70");
    for (int i = 0; i < 3000; ++i) {
        record.push_back(0x08);
        record.push_back(static_cast<std::uint8_t>(i));
    }
    Bytes text = hex("26 07 D0");
    text.resize(text.size() + 2000, 'x');
    Bytes bytes;
    for (int copy = 0; copy < 2; ++copy) {
        bytes.insert(bytes.end(), record.begin(), record.end());
        bytes.insert(bytes.end(), text.begin(), text.end());
    }

    SDPInputStream sdp(bytes);
    for (int copy = 0; copy < 2; ++copy) {
        const DE::Ptr sequence = sdp.readElement();
        ASSERT_EQ(sequence->getSize(), 3000U);
        EXPECT_EQ(sequence->getChildren()[2999]->getLong(), 2999 % 256);
        EXPECT_EQ(encode(*sequence).size(), record.size());
        EXPECT_EQ(std::get<std::string>(sdp.readElement()->getValue()), std::string(2000, 'x'));
    }
}

TEST(SdpDecodedTree, AFaultPartWayLetsGoOfWhatWasDecoded) {
    // Long text in a sequence in a sequence, then an integer that overruns the inner sequence.
    Bytes bytes = hex("37 000007DA 37 000007D4 26 07D0");
    bytes.resize(bytes.size() + 2000, 'y');
    bytes.push_back(0x09);
    bytes.push_back(0x00);
    EXPECT_THROW(SDPInputStream(bytes).readElement(), IOError);
    // The second value is cut short; the first pair stays.
    SDPInputStream::AttributePairs pairs;
    EXPECT_THROW(
        SDPInputStream(hex("35 0D 09 0001 35 04 08 05 08 09 09 0002 09")).readAttributeList(pairs),
        IOError);
    ASSERT_EQ(pairs.size(), 1U);
    EXPECT_EQ(pairs[0].second->toString(), "DATSEQ {\n0x5\n0x9\n}");
}

}  // namespace
}  // namespace flarecast::bluetooth
