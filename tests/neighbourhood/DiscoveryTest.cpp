#include <gtest/gtest.h>

#include <atomic>

#include "TestNeighbourhood.h"
#include "app/engine/Bluetooth.h"
#include "bluetooth/discovery/LocalDevice.h"

namespace flarecast::bluetooth {
namespace {

using engine::Bluetooth;
using testing::eventually;
using testing::TestNeighbourhood;

class DiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override { TestNeighbourhood::get(); }
};

std::vector<std::string> namesOf(const std::vector<RemoteDevice>& devices) {
    std::vector<std::string> names;
    for (const auto& device : devices) {
        names.push_back(device.getFriendlyName(false) + " " + device.getBluetoothAddress());
    }
    return names;
}

// The engine's listener, whose reports wait while the test holds them.
class HeldListener final : public Bluetooth {
public:
    std::atomic<bool> held{false};
    void deviceDiscovered(const RemoteDevice& device, const DeviceClass& deviceClass) override {
        eventually([this] { return !held.load(); });
        Bluetooth::deviceDiscovered(device, deviceClass);
    }
};

TEST_F(DiscoveryTest, InquiryReportsTheVisibleDevicesInOrderThenCompletes) {
    HeldListener listener;
    listener.dodeviceenquiry();
    ASSERT_TRUE(eventually([&] { return listener.devicesearchcompleted.load(); }));
    EXPECT_EQ(namesOf(listener.devlist()),
              (std::vector<std::string>{"Ada's phone 00123456789a", "Grace's tablet 00123456789b",
                                        "Far away 00123456789d", "Bytes 00123456789e",
                                        "Files only 00123456789f"}));

    // A second inquiry forgets the first one's devices as it starts, not at its first report.
    listener.held = true;
    listener.devicesearchcompleted = false;
    listener.dodeviceenquiry();
    EXPECT_TRUE(listener.devlist().empty());
    listener.held = false;
    ASSERT_TRUE(eventually([&] { return listener.devicesearchcompleted.load(); }));
    EXPECT_EQ(listener.devlist().size(), 5U);
}

class CodeRecorder : public DiscoveryListener {
public:
    std::atomic<int> inquiryCode{-1};
    std::atomic<int> devices{0};
    void servicesDiscovered(int, const std::vector<std::shared_ptr<ServiceRecord>>&) override {}
    void serviceSearchCompleted(int, int) override {}
    void inquiryCompleted(int discType) override { inquiryCode = discType; }
    void deviceDiscovered(const RemoteDevice&, const DeviceClass&) override { ++devices; }
    bool ended() const { return inquiryCode >= 0; }
};

TEST_F(DiscoveryTest, ACancelledInquiryReportsThatItWasTerminated) {
    CodeRecorder listener;
    DiscoveryAgent& agent = LocalDevice::getLocalDevice().getDiscoveryAgent();
    EXPECT_THROW(agent.cancelInquiry(nullptr), NullReferenceError);
    agent.startInquiry(DiscoveryAgent::GIAC, listener);
    ASSERT_TRUE(eventually([&] { return agent.cancelInquiry(&listener); }));
    ASSERT_TRUE(eventually([&] { return listener.inquiryCode >= 0; }));
    EXPECT_EQ(listener.inquiryCode, DiscoveryListener::INQUIRY_TERMINATED);
}

// Holds its inquiry inside the first report until released.
class SlowRecorder final : public CodeRecorder {
public:
    std::atomic<bool> reporting{false};
    std::atomic<bool> released{false};
    void deviceDiscovered(const RemoteDevice& device, const DeviceClass& deviceClass) override {
        reporting = true;
        eventually([this] { return released.load(); });
        CodeRecorder::deviceDiscovered(device, deviceClass);
    }
};

TEST_F(DiscoveryTest, AnInquiryStartedRightAfterACancelRunsToItsEnd) {
    DiscoveryAgent& agent = LocalDevice::getLocalDevice().getDiscoveryAgent();
    SlowRecorder cancelled;
    agent.startInquiry(DiscoveryAgent::GIAC, cancelled);
    ASSERT_TRUE(eventually([&] { return cancelled.reporting.load(); }));
    EXPECT_TRUE(agent.cancelInquiry(&cancelled));
    // The cancelled inquiry is still running while the next one starts.
    CodeRecorder next;
    agent.startInquiry(DiscoveryAgent::GIAC, next);
    ASSERT_TRUE(eventually([&] { return next.ended() || next.devices > 0; }));
    cancelled.released = true;
    ASSERT_TRUE(eventually([&] { return cancelled.ended() && next.ended(); }));
    EXPECT_EQ(cancelled.inquiryCode, DiscoveryListener::INQUIRY_TERMINATED);
    EXPECT_EQ(next.inquiryCode, DiscoveryListener::INQUIRY_COMPLETED);
    EXPECT_EQ(next.devices, 5);
}

TEST_F(DiscoveryTest, ACancelEndsOnlyTheInquiryOfTheListenerThatAsked) {
    DiscoveryAgent& agent = LocalDevice::getLocalDevice().getDiscoveryAgent();
    CodeRecorder asking;
    CodeRecorder other;
    agent.startInquiry(DiscoveryAgent::GIAC, other);
    agent.startInquiry(DiscoveryAgent::GIAC, asking);
    EXPECT_TRUE(agent.cancelInquiry(&asking));
    ASSERT_TRUE(eventually([&] { return asking.ended() && other.ended(); }));
    EXPECT_EQ(asking.inquiryCode, DiscoveryListener::INQUIRY_TERMINATED);
    EXPECT_EQ(other.inquiryCode, DiscoveryListener::INQUIRY_COMPLETED);
    EXPECT_EQ(other.devices, 5);
    // Nothing of that listener runs any more.
    EXPECT_FALSE(agent.cancelInquiry(&asking));
}

TEST_F(DiscoveryTest, ServiceSearchesEndWithTheirCodeAndTheObjectPushURL) {
    struct Case {
        std::int64_t address;
        int code;
        std::optional<std::string> url;
    };
    const Case cases[] = {
        {0x00123456789a, 1, "btspp://00123456789a:9;authenticate=false;encrypt=false"},
        {0x00123456789b, 4, std::nullopt},
        {0x00123456789c, 3, std::nullopt},
        {0x00123456789d, 6, std::nullopt},
        {0x00123456789e, 1, "btspp://00123456789e:9;authenticate=false;encrypt=false"},
        {0x00123456789f, 4, std::nullopt},
        {0x001122334455, 6, std::nullopt},
    };
    for (const auto& c : cases) {
        Bluetooth listener;
        ::testing::internal::CaptureStdout();
        listener.doserviceenquiry(RemoteDevice("", c.address));
        const bool ended = eventually([&] { return listener.servicesearchcompleted.load(); });
        const std::string printed = ::testing::internal::GetCapturedStdout();
        ASSERT_TRUE(ended) << formatAddress(c.address);
        EXPECT_EQ(listener.searchresult, c.code) << formatAddress(c.address);
        EXPECT_EQ(listener.obexurl(), c.url) << formatAddress(c.address);
        EXPECT_NE(printed.find(std::to_string(c.code) + "\n"), std::string::npos) << printed;
        if (c.url) {
            EXPECT_NE(printed.find(*c.url + "\n1\nInquiry Completed\n"), std::string::npos)
                << printed;
        }
    }
}

TEST(BluetoothListener, PrintsOnlyTheCodeForOtherResponses) {
    Bluetooth listener;
    ::testing::internal::CaptureStdout();
    listener.serviceSearchCompleted(0, DiscoveryListener::SERVICE_SEARCH_TERMINATED);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "2\n");
    EXPECT_TRUE(listener.servicesearchcompleted);
    EXPECT_EQ(listener.searchresult, 2);
}

}  // namespace
}  // namespace flarecast::bluetooth
