#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include "FakeStack.h"
#include "tests/common/Hex.h"

#include "bluetooth/discovery/LocalDevice.h"
#include "bluetooth/records/ServiceRecordImpl.h"
#include "bluetooth/sdp/SDPOutputStream.h"

namespace flarecast::bluetooth {
namespace {

using DE = DataElement;
using flarecast::testing::hex;
using testing::fakeStack;

DE::Ptr uuid(std::int64_t value) {
    return DE::make(DE::UUID, UUID(value));
}

const RemoteDevice kPhone("Ada's phone", 0x00123456789A);

class ServiceRecordTest : public ::testing::Test {
protected:
    void SetUp() override {
        fakeStack().attributeList.clear();
        fakeStack().attributesFail = false;
        fakeStack().askedAttributes.clear();
    }

    // A remote record whose attributes arrive through populateRecord.
    std::unique_ptr<ServiceRecordImpl> remoteWith(const DE::Ptr& attributeList) {
        ByteArrayOutputStream bytes;
        SDPOutputStream(bytes).writeElement(*attributeList);
        fakeStack().attributeList = bytes.toByteArray();
        auto record = std::make_unique<ServiceRecordImpl>(kPhone, 0x10001);
        EXPECT_TRUE(record->populateRecord({0, 1, 2, 3, 4}));
        return record;
    }
};

TEST_F(ServiceRecordTest, ConnectionURLComesFromTheRfcommChannel) {
    const auto rfcommNine = DE::sequence(
        {DE::sequence({uuid(0x0100)}), DE::sequence({uuid(0x0003), DE::make(DE::U_INT_1, 9)})});
    struct Case {
        DE::Ptr protocols;
        int security;
        bool master;
        std::optional<std::string> url;
    };
    const Case cases[] = {
        {rfcommNine, 0, false, "btspp://00123456789a:9;authenticate=false;encrypt=false"},
        {rfcommNine, 1, false, "btspp://00123456789a:9;authenticate=true;encrypt=false"},
        {rfcommNine, 2, true, "btspp://00123456789a:9;authenticate=true;encrypt=true;master=true"},
        {DE::sequence({DE::sequence({uuid(3), DE::make(DE::U_INT_8, Bytes(8))})}), 0, false,
         std::nullopt},
        {DE::sequence({DE::sequence({uuid(3), DE::make(DE::U_INT_16, Bytes(16))})}), 0, false,
         std::nullopt},
        {DE::sequence({DE::sequence({uuid(3)})}), 0, false, std::nullopt},
        {DE::sequence({DE::sequence({uuid(0x0100), DE::make(DE::U_INT_1, 9)})}), 0, false,
         std::nullopt},
        {DE::sequence({DE::make(DE::U_INT_1, 3), DE::sequence({uuid(3), DE::make(DE::INT_8, 12)})}),
         0, false, "btspp://00123456789a:12;authenticate=false;encrypt=false"},
        {DE::sequence({DE::sequence({uuid(3), DE::make(DE::U_INT_2, 4)}),
                       DE::sequence({uuid(3), DE::make(DE::U_INT_1, 5)})}),
         0, false, "btspp://00123456789a:5;authenticate=false;encrypt=false"},
        {DE::make(DE::DATALT), 0, false, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto record = remoteWith(DE::sequence({DE::make(DE::U_INT_2, 4), c.protocols}));
        EXPECT_EQ(record->getConnectionURL(c.security, c.master), c.url) << c.protocols->toString();
    }
    EXPECT_THROW(remoteWith(DE::sequence({DE::make(DE::U_INT_2, 4), rfcommNine}))
                     ->getConnectionURL(3, false),
                 IllegalArgumentError);
    EXPECT_EQ(ServiceRecordImpl(kPhone, 1).getConnectionURL(0, false), std::nullopt);
}

TEST_F(ServiceRecordTest, LocalRecordURLNamesTheLocalAdapter) {
    ServiceRecordImpl local(std::nullopt, 0);
    local.setAttributeValue(4, DE::sequence({DE::sequence({uuid(3), DE::make(DE::U_INT_1, 3)})}));
    EXPECT_EQ(local.getConnectionURL(0, false),
              "btspp://0012a1b2c3d4:3;authenticate=false;encrypt=false");
}

TEST_F(ServiceRecordTest, PopulateSendsSortedIDsAndStoresThePairs) {
    fakeStack().attributeList = hex("35 0D 09 0000 0A 00010001 09 0100 08 05");
    ServiceRecordImpl record(kPhone, 1);
    const std::vector<int> ids{4, 1, 0};
    EXPECT_TRUE(record.populateRecord(ids));
    EXPECT_EQ(fakeStack().askedAttributes, (std::vector<int>{0, 1, 4}));
    EXPECT_EQ(ids, (std::vector<int>{4, 1, 0}));
    EXPECT_EQ(record.getAttributeIDs(), (std::vector<int>{0, 0x100}));
    EXPECT_EQ(record.getAttributeValue(0x100)->getLong(), 5);
    EXPECT_EQ(record.getAttributeValue(2), nullptr);
}

TEST_F(ServiceRecordTest, PopulateRejectsBadIDsBeforeAskingTheDevice) {
    ServiceRecordImpl record(kPhone, 1);
    const std::vector<int> cases[] = {{}, {4, 0, 4}, {-1}, {0x10000}};
    for (const auto& ids : cases) {
        EXPECT_THROW(record.populateRecord(ids), IllegalArgumentError);
    }
    EXPECT_TRUE(fakeStack().askedAttributes.empty());
    EXPECT_THROW(ServiceRecordImpl(std::nullopt, 0).populateRecord({0}), RuntimeError);
}

TEST_F(ServiceRecordTest, PopulateReportsNothingReadAndFaultsApart) {
    ServiceRecordImpl record(kPhone, 1);
    EXPECT_FALSE(record.populateRecord({0}));
    EXPECT_TRUE(record.getAttributeIDs().empty());

    fakeStack().attributesFail = true;
    EXPECT_THROW(record.populateRecord({0}), IOError);
    fakeStack().attributesFail = false;

    const char* malformed[] = {
        "08 05",                   // not a sequence
        "35 04 25 01 61 08",       // truncated
        "35 04 25 01 61 08 05",    // an ID that is not an integer
        "35 06 09 0001 08 05 28",  // a value cut short by the end of the list
    };
    for (const char* bytes : malformed) {
        fakeStack().attributeList = hex(bytes);
        EXPECT_THROW(record.populateRecord({0, 1}), IOError) << bytes;
    }
    fakeStack().attributeList = hex("35 08 09 0001 08 05 09 0002");
    EXPECT_THROW(record.populateRecord({1, 2}), IOError);
    EXPECT_EQ(record.getAttributeValue(1)->getLong(), 5);
}

TEST_F(ServiceRecordTest, AttributeIDRules) {
    ServiceRecordImpl local(std::nullopt, 0);
    EXPECT_THROW(local.getAttributeValue(0xFFFF), IllegalArgumentError);
    EXPECT_THROW(local.getAttributeValue(-1), IllegalArgumentError);
    EXPECT_TRUE(local.setAttributeValue(0xFFFF, DE::make(true)));
    EXPECT_THROW(local.setAttributeValue(0, DE::make(true)), IllegalArgumentError);
    EXPECT_THROW(local.setAttributeValue(0x10000, DE::make(true)), IllegalArgumentError);
    EXPECT_TRUE(local.setAttributeValue(5, DE::make(true)));
    EXPECT_TRUE(local.setAttributeValue(5, nullptr));
    EXPECT_FALSE(local.setAttributeValue(5, nullptr));

    ServiceRecordImpl remote(kPhone, 1);
    EXPECT_THROW(remote.setAttributeValue(5, DE::make(true)), RuntimeError);
    EXPECT_TRUE(remote.getAttributeIDs().empty());
    EXPECT_EQ(remote.getHostDevice(), kPhone);
    EXPECT_EQ(local.getHostDevice(), std::nullopt);
}

TEST_F(ServiceRecordTest, SerialisesInAscendingAttributeOrder) {
    ServiceRecordImpl local(std::nullopt, 0);
    local.setAttributeValue(0x100, DE::make(DE::STRING, "OPP"));
    EXPECT_EQ(local.toString(), "{\n0x100:\nOPP\n}");
    local.setAttributeValue(1, DE::sequence({uuid(0x1105)}));
    EXPECT_EQ(local.toByteArray(),
              hex("37 00000021 09 0001 37 00000011 1C 00001105 00001000 80000080 5F9B34FB"
                  " 09 0100 25 03 4F5050"));
}

TEST(LocalDevice, IsOneInstanceWithTheAdaptersAddress) {
    fakeStack();
    LocalDevice& first = LocalDevice::getLocalDevice();
    EXPECT_EQ(&first, &LocalDevice::getLocalDevice());
    EXPECT_EQ(first.getBluetoothAddress(), "0012a1b2c3d4");
}

class RecordingListener final : public DiscoveryListener {
public:
    std::vector<std::string> events;
    void servicesDiscovered(int, const std::vector<std::shared_ptr<ServiceRecord>>&) override {}
    void serviceSearchCompleted(int, int) override {}
    void inquiryCompleted(int) override {}
    void deviceDiscovered(const RemoteDevice& device, const DeviceClass& deviceClass) override {
        events.push_back(device.getFriendlyName(false) + " " + device.getBluetoothAddress() + " " +
                         deviceClass.toString());
    }
};

TEST(BluetoothPeer, InquiryReportsEachDeviceAndItsClass) {
    fakeStack().devices = {{"Ada's phone", 0x00123456789a, 0x5a020c}, {"", 1, 0}};
    fakeStack().inquiryResult = DiscoveryListener::INQUIRY_COMPLETED;
    RecordingListener listener;
    EXPECT_EQ(LocalDevice::getLocalDevice().getBluetoothPeer().doInquiry(0x9E8B33, listener),
              DiscoveryListener::INQUIRY_COMPLETED);
    EXPECT_EQ(listener.events,
              (std::vector<std::string>{
                  "Ada's phone 00123456789a "
                  "Phone/Smartphone/(Networking,Capturing,Object Transfer,Telephony)",
                  " 000000000001 Miscellaneous/()"}));
    fakeStack().devices.clear();
}

class CompletionRecorder final : public DiscoveryListener {
public:
    std::atomic<int> inquiryCode{-1};
    std::atomic<int> searchCode{-1};
    std::atomic<int> recordsSeen{0};
    void servicesDiscovered(int,
                            const std::vector<std::shared_ptr<ServiceRecord>>& records) override {
        recordsSeen = static_cast<int>(records.size());
    }
    void serviceSearchCompleted(int, int respCode) override { searchCode = respCode; }
    void inquiryCompleted(int discType) override { inquiryCode = discType; }
    void deviceDiscovered(const RemoteDevice&, const DeviceClass&) override {}
};

// Bounded wait for a report from a discovery thread.
bool reported(const std::atomic<int>& code) {
    for (int i = 0; i < 10000 && code < 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return code >= 0;
}

TEST(DiscoveryThreads, ReportCompletionEvenWhenTheNativeCallFails) {
    fakeStack().inquiryFails = true;
    fakeStack().handlesFail = true;
    CompletionRecorder listener;
    DiscoveryAgent& agent = LocalDevice::getLocalDevice().getDiscoveryAgent();
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(agent.startInquiry(DiscoveryAgent::GIAC, listener));
    EXPECT_EQ(agent.searchServices(std::nullopt, {UUID(0x1105)}, kPhone, listener), 0);
    const bool bothReported = reported(listener.inquiryCode) && reported(listener.searchCode);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "adapter gone\nadapter gone\n");
    fakeStack().inquiryFails = false;
    fakeStack().handlesFail = false;
    ASSERT_TRUE(bothReported);
    EXPECT_EQ(listener.inquiryCode, DiscoveryListener::INQUIRY_ERROR);
    EXPECT_EQ(listener.searchCode, DiscoveryListener::SERVICE_SEARCH_ERROR);
}

TEST(DiscoveryThreads, ASearchFetchesTheDefaultAttributesOfEachRecord) {
    fakeStack().handles = std::vector<int>{0x10000, 0x10001};
    fakeStack().attributeList.clear();
    CompletionRecorder listener;
    LocalDevice::getLocalDevice().getDiscoveryAgent().searchServices(std::nullopt, {UUID(0x1105)},
                                                                     kPhone, listener);
    ASSERT_TRUE(reported(listener.searchCode));
    EXPECT_EQ(listener.searchCode, DiscoveryListener::SERVICE_SEARCH_COMPLETED);
    EXPECT_EQ(listener.recordsSeen, 2);
    EXPECT_EQ(fakeStack().askedAttributes, (std::vector<int>{0, 1, 2, 3, 4}));

    fakeStack().handles = std::vector<int>{};
    CompletionRecorder none;
    LocalDevice::getLocalDevice().getDiscoveryAgent().searchServices(std::nullopt, {UUID(0x1105)},
                                                                     kPhone, none);
    ASSERT_TRUE(reported(none.searchCode));
    EXPECT_EQ(none.searchCode, DiscoveryListener::SERVICE_SEARCH_NO_RECORDS);
    EXPECT_EQ(none.recordsSeen, 0);
    fakeStack().handles.reset();
}

TEST(RemoteDevice, EqualsByAddressAlone) {
    EXPECT_EQ(RemoteDevice("a", 5), RemoteDevice("b", 5));
    EXPECT_FALSE(RemoteDevice("a", 5) == RemoteDevice("a", 6));
    EXPECT_EQ(RemoteDevice("00123456789A").getAddress(), 0x00123456789A);
    EXPECT_THROW(RemoteDevice("00123456789G"), NumberFormatError);
    EXPECT_EQ(RemoteDevice("x", 0x00123456789A).hashCode(), 0x3456789A);
}

}  // namespace
}  // namespace flarecast::bluetooth
