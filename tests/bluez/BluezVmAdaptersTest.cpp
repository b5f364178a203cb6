// Runs inside the throw-away VM on several local adapters (see tests/bluez/in-vm.sh, round
// adapters): FLARECAST_ADAPTER names hci0 and hci1, BT0 and BT1 hold their addresses, and PHONES
// the addresses of the other controllers, which act as phones in range.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <future>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <bluetooth/bluetooth.h>
#include <bluetooth/hci.h>

#include "app/engine/Bluetoothfunctions.h"
#include "bluetooth/connections/Connector.h"
#include "bluetooth/discovery/DiscoveryListener.h"
#include "bluetooth/discovery/LocalDevice.h"
#include "bluetooth/native/bluez/BluezAddress.h"
#include "bluetooth/native/bluez/BluezStack.h"
#include "tests/bluez/VmPhones.h"
#include "tests/bluez/VmSupport.h"

namespace flarecast {
namespace {

using namespace std::chrono_literals;
using bluetooth::UUID;
using bluetooth::bluez::BluezStack;
using vm::addressOf;
using vm::compact;
using vm::devIdOf;
using vm::env;
using vm::eventually;
using vm::Phones;

std::vector<std::int64_t> phoneAddresses() {
    std::vector<std::int64_t> phones;
    std::istringstream words(env("PHONES"));
    for (std::string word; words >> word;) {
        phones.push_back(vm::parsedAddress(word));
    }
    if (phones.size() < 2) {
        throw std::runtime_error("PHONES names fewer than two phones");
    }
    return phones;
}

// The addresses that the links a controller takes from now on came from, in their order.
class IncomingLinks {
public:
    explicit IncomingLinks(int devId) : events(devId, HCI_EVENT_PKT, EVT_CONN_COMPLETE) {}

    // Those that the kernel has seen complete by now.
    std::vector<std::int64_t> from() {
        std::vector<std::int64_t> peers;
        constexpr std::size_t kHeader = 1 + HCI_EVENT_HDR_SIZE;
        for (const auto& packet : events.take()) {
            if (packet.size() < kHeader + EVT_CONN_COMPLETE_SIZE) {
                continue;
            }
            evt_conn_complete complete{};
            std::memcpy(&complete, packet.data() + kHeader, sizeof complete);
            if (complete.status == 0) {
                peers.push_back(bluetooth::bluez::fromBdaddr(complete.bdaddr));
            }
        }
        return peers;
    }

private:
    vm::HciWatch events;
};

// What each adapter's inquiry found.
using Found = std::set<std::int64_t>;

TEST(Adapters, EachAdapterInquiresOnItsOwnAndFindsEveryPhone) {
    const auto stack = BluezStack::open(env("FLARECAST_ADAPTER"), {.inquiry = 8s});
    ASSERT_EQ(stack->adapters(), (std::vector<std::string>{"hci0", "hci1"}));
    EXPECT_EQ(stack->adapterInfo().address, addressOf("BT0"));
    // At once, as the engine runs them.
    const auto inquiry = [&stack](int adapter) {
        return std::async(std::launch::async, [&stack, adapter] {
            Found found;
            const int ended = stack->doInquiry(
                0x9E8B33,
                [&found](const std::string&, std::int64_t address, int) {
                    EXPECT_TRUE(found.insert(address).second) << "reported twice";
                },
                {}, adapter);
            EXPECT_EQ(ended, bluetooth::DiscoveryListener::INQUIRY_COMPLETED);
            return found;
        });
    };
    auto first = inquiry(0);
    auto second = inquiry(1);
    const auto phones = phoneAddresses();
    const Found everyPhone(phones.begin(), phones.end());
    EXPECT_EQ(first.get(), everyPhone);
    EXPECT_EQ(second.get(), everyPhone);
}

// The phone's controller sees each search come from the address of the adapter it went through.
TEST(Adapters, ASearchThroughEachAdapterComesFromItsAddress) {
    const auto phone = phoneAddresses().front();
    const Phones phones({phone});
    const auto stack = BluezStack::open(env("FLARECAST_ADAPTER"));
    const UUID objectPush(0x1105);
    const std::vector<std::int64_t> adapters{addressOf("BT0"), addressOf("BT1")};
    for (const int adapter : {1, 0}) {
        SCOPED_TRACE(adapter);
        // A link that is up already would carry the search without a new one.
        ASSERT_TRUE(eventually([&] { return vm::linksOf(devIdOf(phone)).empty(); }, 60s));
        IncomingLinks links(devIdOf(phone));
        const auto handles = stack->getServiceHandles({&objectPush, 1}, phone, adapter);
        ASSERT_TRUE(handles.has_value());
        ASSERT_EQ(handles->size(), 1U);
        const int protocols[] = {0x0004};
        EXPECT_FALSE(
            stack->getServiceAttributes(protocols, phone, handles->front(), adapter).empty());
        EXPECT_EQ(links.from(), std::vector<std::int64_t>{adapters[adapter]});
    }
}

// Through the program's own connections, as a push job opens them.
TEST(Adapters, AConnectionLeavesFromTheAdapterItsUrlNames) {
    auto& local = bluetooth::LocalDevice::getLocalDevice();
    ASSERT_EQ(local.getBluetoothPeer().adapters(), (std::vector<std::string>{"hci0", "hci1"}));
    EXPECT_EQ(local.getBluetoothAddress(), compact("BT0"));
    const auto phone = phoneAddresses().back();
    const Phones phones({phone});
    const std::string url = "btspp://" + bluetooth::formatAddress(phone) + ":" +
                            std::to_string(phones.channelOf(phone)) +
                            ";authenticate=false;encrypt=false";
    const struct {
        std::string parameter;
        const char* from;
    } cases[] = {{";adapter=hci1", "BT1"}, {"", "BT0"}};
    for (const auto& [parameter, from] : cases) {
        SCOPED_TRACE(parameter);
        // A new link each time: the channel of the one before may still be closing.
        ASSERT_TRUE(eventually([&] { return vm::linksOf(devIdOf(phone)).empty(); }, 60s));
        const auto before = phones.visits().size();
        const auto connection = bluetooth::Connector::openStream(url + parameter);
        ASSERT_TRUE(eventually([&] { return phones.visits().size() > before; }, 20s));
        EXPECT_EQ(phones.visits().back().from, addressOf(from));
        connection->close();
    }
}

// Whole passes of the engine on both adapters, serving devices after the inquiry and while it
// goes on: each phone gets the file once, through the adapter its row names.
TEST(Adapters, APassServesEachPhoneOnceThroughTheAdapterItsRowNames) {
    const auto phones = phoneAddresses();
    const std::map<std::string, std::int64_t> adapterAddress{{"hci0", addressOf("BT0")},
                                                             {"hci1", addressOf("BT1")}};
    for (const bool whileInquiring : {false, true}) {
        SCOPED_TRACE(whileInquiring ? "while inquiring" : "after the inquiry");
        const Phones receivers(phones);
        const std::string name = whileInquiring ? "early.jpg" : "late.jpg";
        const std::string content = "Flarecast to every phone\n" + vm::randomBytes(30000);
        engine::Pacing pacing = vm::kQuick;
        pacing.serveWhileInquiring = whileInquiring;
        const auto rows = vm::pass(vm::offerFile(name, content), pacing);

        std::map<std::string, std::string> servedBy;
        for (const auto& row : rows) {
            EXPECT_TRUE(row.sent) << row.bluetoothaddress;
            EXPECT_TRUE(adapterAddress.contains(row.adapter)) << row.adapter;
            EXPECT_TRUE(servedBy.emplace(row.bluetoothaddress, row.adapter).second)
                << row.bluetoothaddress << " has two rows";
            std::cout << row.bluetoothaddress << " served through " << row.adapter << std::endl;
        }
        EXPECT_EQ(servedBy.size(), phones.size());
        const auto receipts = receivers.receipts();
        EXPECT_EQ(receipts.size(), phones.size());
        std::set<std::int64_t> received;
        for (const auto& receipt : receipts) {
            const std::string phone = bluetooth::formatAddress(receipt.phone);
            EXPECT_TRUE(received.insert(receipt.phone).second) << phone << " got it twice";
            EXPECT_EQ(receipt.name, name);
            EXPECT_TRUE(receipt.content == content) << phone;
            ASSERT_TRUE(servedBy.contains(phone)) << phone << " has no row";
            EXPECT_EQ(receipt.from, adapterAddress.at(servedBy.at(phone))) << phone;
        }
    }
}

}  // namespace
}  // namespace flarecast
