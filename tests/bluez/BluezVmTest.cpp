// Runs inside the throw-away VM with a real kernel Bluetooth stack (see scripts/bluez-vm-tests.sh):
// hci0 is this side, hci1 the device in range. BT0 and BT1 hold their addresses.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <iostream>
#include <map>
#include <stop_token>
#include <thread>

#include "app/engine/Bluetoothfunctions.h"
#include "app/engine/Obexsend.h"
#include "bluetooth/discovery/DiscoveryListener.h"
#include "bluetooth/discovery/LocalDevice.h"
#include "bluetooth/io/Errors.h"
#include "bluetooth/native/bluez/BluezAddress.h"
#include "bluetooth/native/bluez/BluezStack.h"
#include "bluetooth/native/bluez/LegacySdpRecord.h"
#include "bluetooth/sdp/SDPOutputStream.h"
#include "tests/bluez/VmSupport.h"

namespace flarecast {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using bluetooth::DiscoveryListener;
using bluetooth::UUID;
using bluetooth::bluez::BluezStack;
using vm::addressOf;
using vm::compact;
using vm::contentOf;
using vm::env;
using vm::eventually;
using vm::offerFile;
using vm::pass;
using vm::randomBytes;
using vm::Rows;

TEST(Discovery, AnInquiryFromHci0FindsHci1WithItsNameAndClass) {
    const auto stack = BluezStack::open("hci0", {.inquiry = 8s});
    EXPECT_EQ(stack->adapterInfo().address, addressOf("BT0"));
    std::map<std::int64_t, std::pair<std::string, int>> found;
    const int ended = stack->doInquiry(
        0x9E8B33,
        [&found](const std::string& name, std::int64_t address, int deviceClass) {
            EXPECT_FALSE(found.contains(address)) << "reported twice";
            found[address] = {name, deviceClass};
        },
        {}, 0);
    EXPECT_EQ(ended, DiscoveryListener::INQUIRY_COMPLETED);
    ASSERT_TRUE(found.contains(addressOf("BT1")));
    EXPECT_EQ(found[addressOf("BT1")].first, env("BT1_NAME"));
    EXPECT_EQ(found[addressOf("BT1")].second, std::stoi(env("BT1_CLASS"), nullptr, 16));
}

TEST(Discovery, ACancelledInquiryEndsAtOnceAsTerminated) {
    const auto stack = BluezStack::open("hci0", {.inquiry = 60s});
    std::stop_source stop;
    auto inquiry = std::async(std::launch::async, [&] {
        return stack->doInquiry(
            0x9E8B33, [](const std::string&, std::int64_t, int) {}, stop.get_token(), 0);
    });
    std::this_thread::sleep_for(500ms);
    const auto asked = std::chrono::steady_clock::now();
    stop.request_stop();
    ASSERT_EQ(inquiry.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(inquiry.get(), DiscoveryListener::INQUIRY_TERMINATED);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 6s);
}

TEST(Sockets, ClosingASocketEndsTheAcceptThatWaitsOnIt) {
    const auto stack = BluezStack::open("hci0");
    const int listening = stack->socket(false, false);
    stack->listen(listening);
    EXPECT_GE(stack->getsockchannel(listening), 1);
    auto accepting = std::async(std::launch::async, [&] { return stack->accept(listening); });
    std::this_thread::sleep_for(200ms);
    stack->close(listening);
    ASSERT_EQ(accepting.wait_for(5s), std::future_status::ready);
    EXPECT_THROW(accepting.get(), bluetooth::IOError);
}

std::size_t openDescriptors() {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{}));
}

// Listening sockets closed from another thread while accepts wait on them, reads of sockets that
// never connected, and inquiries cancelled from another thread, round after round: every call
// ends with its error and no descriptor stays behind.
TEST(Sockets, CloseAndCancelFromAnotherThreadLeaveNothingBehind) {
    const auto stack = BluezStack::open("hci0", {.inquiry = 30s});
    const std::size_t before = openDescriptors();
    for (int round = 0; round < 40; ++round) {
        const int listening = stack->socket(round % 2 == 0, false);
        stack->listen(listening);
        auto accepting = std::async(std::launch::async, [&] { return stack->accept(listening); });
        const int idle = stack->socket(false, false);
        auto reading = std::async(std::launch::async, [&] {
            std::uint8_t byte = 0;
            return stack->recv(idle, {&byte, 1});
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 5));
        stack->close(listening);
        stack->close(idle);
        ASSERT_EQ(accepting.wait_for(5s), std::future_status::ready) << round;
        ASSERT_EQ(reading.wait_for(5s), std::future_status::ready) << round;
        EXPECT_THROW(accepting.get(), bluetooth::IOError);
        EXPECT_THROW(reading.get(), bluetooth::IOError);
        EXPECT_THROW(stack->recv(idle), bluetooth::IOError);
    }
    for (int round = 0; round < 3; ++round) {
        std::stop_source stop;
        auto inquiry = std::async(std::launch::async, [&] {
            return stack->doInquiry(
                0x9E8B33, [](const std::string&, std::int64_t, int) {}, stop.get_token(), 0);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(100 * round));
        stop.request_stop();
        ASSERT_EQ(inquiry.wait_for(10s), std::future_status::ready) << round;
        EXPECT_EQ(inquiry.get(), DiscoveryListener::INQUIRY_TERMINATED);
    }
    EXPECT_EQ(openDescriptors(), before);
}

// Records published on hci1 through bluetoothd's SDP server, as the program does when the profile
// manager refuses; found from hci0.
TEST(SdpServer, RecordsGetHandlesOfTheirOwnAndGoWithTheirOwner) {
    const auto recordFor = [](const UUID& service) {
        // Each carries the same fixed handle, as the program's records do.
        using DE = bluetooth::DataElement;
        const auto record = DE::sequence({DE::make(DE::U_INT_2, std::int64_t{0x0000}),
                                          DE::make(DE::U_INT_4, std::int64_t{0x00010020}),
                                          DE::make(DE::U_INT_2, std::int64_t{0x0001}),
                                          DE::sequence({DE::make(DE::UUID, service)})});
        bluetooth::ByteArrayOutputStream bytes;
        bluetooth::SDPOutputStream(bytes).writeElement(*record);
        return bytes.toByteArray();
    };
    const UUID first("f1a7ec0000000000000000000000a001", false);
    const UUID second("f1a7ec0000000000000000000000a002", false);
    const auto hci1 = bluetooth::bluez::toBdaddr(addressOf("BT1"));
    const auto stack = BluezStack::open("hci0");
    const auto handlesOf = [&](const UUID& service) {
        return stack->getServiceHandles({&service, 1}, addressOf("BT1"), 0)
            .value_or(std::vector<int>{-1});
    };
    auto one = std::make_unique<bluetooth::bluez::LegacySdpRecord>(hci1, recordFor(first));
    const bluetooth::bluez::LegacySdpRecord two(hci1, recordFor(second));
    EXPECT_NE(one->handle(), two.handle());
    EXPECT_EQ(handlesOf(first), std::vector<int>{static_cast<int>(one->handle())});
    EXPECT_EQ(handlesOf(second), std::vector<int>{static_cast<int>(two.handle())});
    one.reset();
    EXPECT_EQ(handlesOf(first), std::vector<int>{});
    EXPECT_EQ(handlesOf(second), std::vector<int>{static_cast<int>(two.handle())});
}

// FLARECAST_ADAPTER names an adapter that this machine does not have.
TEST(NoSuchAdapter, TheProgramSaysWhichAdaptersThereAreAndFindsNothing) {
    ::testing::internal::CaptureStdout();
    auto& local = bluetooth::LocalDevice::getLocalDevice();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Bluetooth is not available: no Bluetooth adapter is named hci7 (FLARECAST_ADAPTER); "
              "bluetoothd has hci0, hci1\n");
    EXPECT_EQ(local.getBluetoothAddress(), "000000000000");
}

// Collects one service search through the program's own discovery classes.
class Search final : public DiscoveryListener {
public:
    std::promise<int> done;
    std::vector<std::shared_ptr<bluetooth::ServiceRecord>> records;
    void servicesDiscovered(
        int, const std::vector<std::shared_ptr<bluetooth::ServiceRecord>>& found) override {
        records.insert(records.end(), found.begin(), found.end());
    }
    void serviceSearchCompleted(int, int respCode) override { done.set_value(respCode); }
    void inquiryCompleted(int) override {}
    void deviceDiscovered(const bluetooth::RemoteDevice&, const bluetooth::DeviceClass&) override {}
};

TEST(Sdp, ASearchForObjectPushOnHci1GivesTheUrlOfItsChannel) {
    Search search;
    auto& local = bluetooth::LocalDevice::getLocalDevice();
    EXPECT_EQ(local.getBluetoothAddress(), compact("BT0"));
    local.getDiscoveryAgent().searchServices(std::nullopt, {UUID(0x1105)},
                                             bluetooth::RemoteDevice("", addressOf("BT1")), search);
    auto ended = search.done.get_future();
    ASSERT_EQ(ended.wait_for(60s), std::future_status::ready);
    EXPECT_EQ(ended.get(), DiscoveryListener::SERVICE_SEARCH_COMPLETED);
    ASSERT_EQ(search.records.size(), 1U);
    EXPECT_EQ(search.records[0]->getConnectionURL(0, false),
              "btspp://" + compact("BT1") + ":" + env("OPP_CHANNEL") +
                  ";authenticate=false;encrypt=false");
}

TEST(Pass, PushesTheFileToTheDeviceOnHci1) {
    const std::string content = "Flarecast offer\n" + randomBytes(100000);
    const fs::path file = offerFile("offer.jpg", content);
    const fs::path inbox = env("INBOX");
    const auto all = pass(file);
    ASSERT_EQ(all.size(), 1U);
    EXPECT_EQ(all[0].bluetoothaddress, compact("BT1"));
    EXPECT_TRUE(all[0].sent);
    EXPECT_TRUE(eventually([&] { return contentOf(inbox / "offer.jpg") == content; }, 10s));
}

TEST(Vanish, ADeviceThatGoesMidPushGivesARowThatSaysNotSent) {
    const fs::path file = offerFile("large.jpg", randomBytes(4 << 20));
    const fs::path inbox = env("INBOX");
    Rows rows;
    std::chrono::steady_clock::time_point gone;
    {
        engine::PushJobs jobs;
        engine::Bluetoothfunctions worker(file, rows, jobs, vm::kQuick);
        worker.running = true;
        worker.start();
        // The receiver has the object's first bytes: the push is under way.
        const auto underWay = [&inbox] {
            for (const auto& entry : fs::directory_iterator(inbox)) {
                std::error_code error;
                if (fs::file_size(entry.path(), error) > 0 && !error) {
                    return true;
                }
            }
            return false;
        };
        // The pass itself may end first: its push job runs on. A push that ended has its row.
        ASSERT_TRUE(eventually([&] { return underWay() || !rows.all().empty(); }, 150s));
        ASSERT_TRUE(underWay()) << "the push ended before it began";
        ASSERT_EQ(std::system(env("TAKE_HCI1_DOWN").c_str()), 0);
        gone = std::chrono::steady_clock::now();
        // The lost link must end the push job.
        jobs.waitUntilAllEnded();
    }
    std::cout << "The push ended "
              << std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now() - gone)
                     .count()
              << " ms after hci1 went" << std::endl;
    const auto all = rows.all();
    ASSERT_EQ(all.size(), 1U);
    EXPECT_EQ(all[0].bluetoothaddress, compact("BT1"));
    EXPECT_FALSE(all[0].sent);
}

// Whether hci0 has a link to hci1. Each push that waits until there is none pairs anew.
bool linkedToHci1() {
    const auto links = vm::linksOf(0);
    return std::find(links.begin(), links.end(), addressOf("BT1")) != links.end();
}

// The receiving side's bluetoothd re-pairs, as phones do: every pass arrives, also once hci1
// keeps the key of an earlier pairing that hci0 has dropped.
TEST(Passes, FiveInARowEachOnALinkOfItsOwnArriveWhole) {
    const fs::path inbox = env("INBOX");
    int arrived = 0;
    for (int round = 1; round <= 5; ++round) {
        ASSERT_TRUE(eventually([] { return !linkedToHci1(); }, 60s)) << round;
        const std::string name = "pass-" + std::to_string(round) + ".jpg";
        const std::string content = "Flarecast pass " + std::to_string(round) + "\n" +
                                    randomBytes(20000 * static_cast<std::size_t>(round));
        const auto rows = pass(offerFile(name, content));
        const bool sent = rows.size() == 1 && rows[0].sent;
        const bool whole =
            sent && eventually([&] { return contentOf(inbox / name) == content; }, 10s);
        EXPECT_TRUE(sent) << round;
        EXPECT_TRUE(whole) << round;
        arrived += whole ? 1 : 0;
    }
    std::cout << arrived << " of 5 passes arrived whole" << std::endl;
}

// One push job straight to hci1's Object Push channel, on a link of its own; its rows.
std::vector<engine::Logfile> push(const fs::path& file) {
    Rows rows;
    engine::Logfile row;
    row.bluetoothaddress = compact("BT1");
    engine::Obexsend job("btspp://" + compact("BT1") + ":" + env("OPP_CHANNEL"), file, row, rows);
    job.start();
    EXPECT_TRUE(eventually([&] { return job.finished(); }, 120s));
    return rows.all();
}

// hci1 keeps a key from a pairing that hci0 does not have, and its bluetoothd will not pair
// again. The push says so, whether its link is the service search's or one of its own.
TEST(PairingRefused, ThePushSaysThatTheDeviceRefusedToPair) {
    const fs::path file = offerFile("refused.jpg", "Flarecast refused\n");
    const std::vector<std::pair<std::string, std::function<std::vector<engine::Logfile>()>>> ways{
        {"a whole pass", [&] { return pass(file); }},
        {"a push on a link of its own", [&] { return push(file); }}};
    for (const auto& [way, run] : ways) {
        SCOPED_TRACE(way);
        ASSERT_TRUE(eventually([] { return !linkedToHci1(); }, 60s));
        ::testing::internal::CaptureStdout();
        const auto rows = run();
        const std::string said = ::testing::internal::GetCapturedStdout();
        std::cout << said;
        ASSERT_EQ(rows.size(), 1U);
        EXPECT_FALSE(rows[0].sent);
        EXPECT_NE(said.find("cannot connect to channel " + env("OPP_CHANNEL") +
                            ": Pairing refused by the device\n"),
                  std::string::npos)
            << said;
    }
    EXPECT_TRUE(fs::is_empty(env("INBOX")));
}

}  // namespace
}  // namespace flarecast
