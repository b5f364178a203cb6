// Not a test: what serving devices while the inquiry goes on costs on a real kernel stack, for the
// record. Runs in the VM's round measure (tests/bluez/in-vm.sh) on hci0 and hci1 with the phones
// in PHONES: whole passes with and without Pacing::serveWhileInquiring, taking turns, each among
// phones never met before. MEASURE_PACING is program (the program's own waits) or quick;
// MEASURE_RUNS the passes of each kind; MEASURE_LATE how many of the phones come into range only
// while the inquiry goes on, one every 1.5 s from its start.
#include <gtest/gtest.h>

#include <bluetooth/bluetooth.h>
#include <bluetooth/hci.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <numeric>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/engine/Bluetoothfunctions.h"
#include "bluetooth/native/NativeStackFactory.h"
#include "bluetooth/native/bluez/BluezBus.h"
#include "bluetooth/native/bluez/BluezStack.h"
#include "tests/bluez/VmPhones.h"
#include "tests/bluez/VmSupport.h"

namespace flarecast {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using bluetooth::NativeStack;

// The program's BlueZ stack, noting when each device is found and each push connects.
class TimedStack final : public NativeStack {
public:
    explicit TimedStack(std::unique_ptr<NativeStack> inner) : inner(std::move(inner)) {}

    struct Moment {
        int adapter;
        std::int64_t address;
        Clock::time_point at;
    };
    std::vector<Moment> takeFound() { return take(found); }
    std::vector<Moment> takeConnects() { return take(connects); }

    std::vector<std::string> adapters() override { return inner->adapters(); }
    int socket(bool authenticate, bool encrypt) override {
        return inner->socket(authenticate, encrypt);
    }
    std::int64_t getsockaddress(int handle) override { return inner->getsockaddress(handle); }
    int getsockchannel(int handle) override { return inner->getsockchannel(handle); }
    void connect(int handle, std::int64_t address, int channel, int adapter) override {
        note(connects, adapter, address);
        inner->connect(handle, address, channel, adapter);
    }
    void listen(int handle) override { inner->listen(handle); }
    int accept(int handle) override { return inner->accept(handle); }
    int recv(int handle) override { return inner->recv(handle); }
    int recv(int handle, std::span<std::uint8_t> buffer) override {
        return inner->recv(handle, buffer);
    }
    void send(int handle, int byte) override { inner->send(handle, byte); }
    void send(int handle, std::span<const std::uint8_t> bytes) override {
        inner->send(handle, bytes);
    }
    void close(int handle) override { inner->close(handle); }
    int registerService(std::span<const std::uint8_t> record) override {
        return inner->registerService(record);
    }
    void unregisterService(int handle) override { inner->unregisterService(handle); }
    std::chrono::milliseconds inquiryLength() override { return inner->inquiryLength(); }
    int doInquiry(int accessCode, const DeviceFound& reported, std::stop_token cancel,
                  int adapter) override {
        return inner->doInquiry(
            accessCode,
            [&](const std::string& name, std::int64_t address, int deviceClass) {
                note(found, adapter, address);
                reported(name, address, deviceClass);
            },
            std::move(cancel), adapter);
    }
    std::optional<std::vector<int>> getServiceHandles(std::span<const bluetooth::UUID> uuids,
                                                      std::int64_t address, int adapter) override {
        return inner->getServiceHandles(uuids, address, adapter);
    }
    bluetooth::Bytes getServiceAttributes(std::span<const int> attrIDs, std::int64_t address,
                                          int handle, int adapter) override {
        return inner->getServiceAttributes(attrIDs, address, handle, adapter);
    }

private:
    void note(std::vector<Moment>& moments, int adapter, std::int64_t address) {
        const std::lock_guard guard(lock);
        moments.push_back({adapter, address, Clock::now()});
    }
    std::vector<Moment> take(std::vector<Moment>& moments) {
        const std::lock_guard guard(lock);
        return std::exchange(moments, {});
    }

    const std::unique_ptr<NativeStack> inner;
    std::mutex lock;
    std::vector<Moment> found;
    std::vector<Moment> connects;
};

// Every device that bluetoothd knows goes, with its keys, on every controller: the next pass
// meets its phones anew and pairs with them.
void forgetEveryDevice() {
    const auto bus = sdbus::createSystemBusConnection();
    bluetooth::bluez::ManagedObjects objects;
    sdbus::createProxy(*bus, "org.bluez", "/")
        ->callMethod("GetManagedObjects")
        .onInterface("org.freedesktop.DBus.ObjectManager")
        .storeResultsTo(objects);
    for (const auto& [path, interfaces] : objects) {
        const auto device = interfaces.find("org.bluez.Device1");
        if (device == interfaces.end()) {
            continue;
        }
        const auto adapter = device->second.at("Adapter").get<sdbus::ObjectPath>();
        sdbus::createProxy(*bus, "org.bluez", adapter)
            ->callMethod("RemoveDevice")
            .onInterface("org.bluez.Adapter1")
            .withArguments(path);
    }
}

// The inquiries that the kernel starts and cancels on one controller, and the links it pages.
class InquiryCommands {
public:
    struct Counts {
        int started = 0;
        int cancelled = 0;
        int paged = 0;
    };

    explicit InquiryCommands(int devId) : commands(devId, HCI_COMMAND_PKT) {}

    // Those sent since the last call.
    Counts take() {
        Counts counts;
        for (const auto& packet : commands.take()) {
            if (packet.size() < 3) {
                continue;
            }
            const int opcode = packet[1] | (packet[2] << 8);
            counts.started += opcode == cmd_opcode_pack(OGF_LINK_CTL, OCF_INQUIRY) ? 1 : 0;
            counts.cancelled += opcode == cmd_opcode_pack(OGF_LINK_CTL, OCF_INQUIRY_CANCEL) ? 1 : 0;
            counts.paged += opcode == cmd_opcode_pack(OGF_LINK_CTL, OCF_CREATE_CONN) ? 1 : 0;
        }
        return counts;
    }

private:
    vm::HciWatch commands;
};

// A phone comes into range, or leaves it: others can find and reach it, or not.
void reachable(std::int64_t phone, bool in) {
    const std::string index = std::to_string(vm::devIdOf(phone));
    const std::string command =
        in ? "btmgmt --index " + index + " connectable on && btmgmt --index " + index + " discov on"
           : "btmgmt --index " + index + " connectable off";
    if (std::system((command + " >/dev/null").c_str()) != 0) {
        throw std::runtime_error(command + " failed");
    }
}

double seconds(Clock::duration span) {
    return std::chrono::duration<double>(span).count();
}

struct Measured {
    bool whileInquiring = false;
    // Per adapter.
    std::vector<std::size_t> found;
    // Per adapter: when its inquiry had found its last device.
    std::vector<double> lastFound;
    std::vector<InquiryCommands::Counts> commands;
    // Per phone served: from its first sighting by any adapter to its push's connect.
    std::vector<double> waits;
    double pass = 0;
    double lastReceived = 0;
    std::size_t received = 0;
};

double mean(const std::vector<double>& values) {
    return values.empty() ? 0
                          : std::accumulate(values.begin(), values.end(), 0.0) /
                                static_cast<double>(values.size());
}

std::string range(const std::vector<double>& values) {
    if (values.empty()) {
        return "-";
    }
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    char text[64];
    std::snprintf(text, sizeof text, "%.2f (%.2f..%.2f)", mean(values), *low, *high);
    return text;
}

TEST(Measure, DISABLED_ServingWhileInquiring) {
    auto timed = std::make_unique<TimedStack>(
        bluetooth::bluez::BluezStack::open(vm::env("FLARECAST_ADAPTER")));
    TimedStack& stack = *timed;
    ASSERT_TRUE(bluetooth::installNativeStack(std::move(timed)));
    std::vector<std::int64_t> phones;
    std::istringstream words(vm::env("PHONES"));
    for (std::string word; words >> word;) {
        phones.push_back(vm::parsedAddress(word));
    }
    const bool quick = vm::env("MEASURE_PACING") == "quick";
    const int runs = std::max(1, std::atoi(vm::env("MEASURE_RUNS").c_str()));
    const auto late =
        std::min(phones.size(),
                 static_cast<std::size_t>(std::max(0, std::atoi(vm::env("MEASURE_LATE").c_str()))));
    const std::string content = "Flarecast measured\n" + vm::randomBytes(30000);
    const auto file = vm::offerFile("measured.jpg", content);
    std::cout << phones.size() << " phones (" << late << " coming late), "
              << (quick ? "quick" : "the program's") << " pacing, " << runs << " passes each way"
              << std::endl;

    std::vector<Measured> all;
    for (int turn = 0; turn < 2 * runs; ++turn) {
        Measured run;
        run.whileInquiring = turn % 2 == 1;
        // Forgotten once every link of the pass before is down: bluetoothd dropping a device
        // whose link is still up has the kernel corrupt its lists now and then (6.1).
        const auto unlinked = [&phones] {
            bool none = vm::linksOf(0).empty() && vm::linksOf(1).empty();
            for (const auto phone : phones) {
                none = none && vm::linksOf(vm::devIdOf(phone)).empty();
            }
            return none;
        };
        ASSERT_TRUE(vm::eventually(unlinked, 60s));
        forgetEveryDevice();
        const vm::Phones receivers(phones);
        for (std::size_t index = phones.size() - late; index < phones.size(); ++index) {
            reachable(phones[index], false);
        }
        std::vector<std::unique_ptr<InquiryCommands>> watches;
        for (int adapter = 0; adapter < 2; ++adapter) {
            watches.push_back(std::make_unique<InquiryCommands>(adapter));
        }
        stack.takeFound();
        stack.takeConnects();

        engine::Pacing pacing = quick ? vm::kQuick : engine::Pacing{};
        pacing.serveWhileInquiring = run.whileInquiring;
        vm::Rows rows;
        const auto start = Clock::now();
        // Out of range until their time; the worker's pass does not wait for them.
        const std::jthread arrivals([&phones, late] {
            try {
                for (std::size_t index = phones.size() - late; index < phones.size(); ++index) {
                    std::this_thread::sleep_for(1500ms);
                    reachable(phones[index], true);
                }
            } catch (const std::exception& error) {
                ADD_FAILURE() << error.what();
            }
        });
        {
            engine::PushJobs jobs(pacing.pushSlots);
            engine::Bluetoothfunctions worker(file, rows, jobs, pacing);
            worker.running = true;
            worker.start();
            ASSERT_TRUE(worker.waitUntilStopped(300s));
            run.pass = seconds(Clock::now() - start);
            jobs.waitUntilAllEnded();
        }

        const auto found = stack.takeFound();
        const auto connects = stack.takeConnects();
        const auto adapters = stack.adapters().size();
        for (std::size_t adapter = 0; adapter < adapters; ++adapter) {
            std::set<std::int64_t> distinct;
            for (const auto& moment : found) {
                if (moment.adapter == static_cast<int>(adapter)) {
                    distinct.insert(moment.address);
                }
            }
            run.found.push_back(distinct.size());
            double last = 0;
            for (const auto& moment : found) {
                if (moment.adapter == static_cast<int>(adapter)) {
                    last = std::max(last, seconds(moment.at - start));
                }
            }
            run.lastFound.push_back(last);
            run.commands.push_back(watches[adapter]->take());
        }
        for (const auto& connect : connects) {
            const auto first = std::find_if(found.begin(), found.end(), [&](const auto& moment) {
                return moment.address == connect.address;
            });
            if (first != found.end()) {
                run.waits.push_back(seconds(connect.at - first->at));
            }
        }
        const auto receipts = receivers.receipts();
        run.received = receipts.size();
        for (const auto& receipt : receipts) {
            run.lastReceived = std::max(run.lastReceived, seconds(receipt.saved - start));
            EXPECT_TRUE(receipt.content == content);
        }
        std::cout << "pass " << turn + 1 << (run.whileInquiring ? " while inquiring: " : " after: ")
                  << "found";
        for (std::size_t adapter = 0; adapter < run.found.size(); ++adapter) {
            const auto& commands = run.commands[adapter];
            std::cout << " " << run.found[adapter] << " (last at " << run.lastFound[adapter]
                      << " s; " << commands.started << " inquiries, " << commands.cancelled
                      << " cancelled, " << commands.paged << " pages)";
        }
        std::cout << "; found to push " << range(run.waits) << " s; pass " << run.pass
                  << " s; last file in at " << run.lastReceived << " s; " << run.received << " of "
                  << phones.size() << " phones have it (" << rows.all().size() << " rows)"
                  << std::endl;
        // Phones that came too late for the inquiry go without; none gets it twice.
        EXPECT_EQ(run.received, rows.all().size());
        std::set<std::int64_t> served;
        for (const auto& receipt : receipts) {
            EXPECT_TRUE(served.insert(receipt.phone).second);
        }
        all.push_back(std::move(run));
    }

    for (const bool whileInquiring : {false, true}) {
        std::vector<double> found;
        std::vector<double> lastFound;
        std::vector<double> cancelled;
        std::vector<double> waits;
        std::vector<double> passes;
        std::vector<double> last;
        for (const auto& run : all) {
            if (run.whileInquiring != whileInquiring) {
                continue;
            }
            for (const auto count : run.found) {
                found.push_back(static_cast<double>(count));
            }
            lastFound.insert(lastFound.end(), run.lastFound.begin(), run.lastFound.end());
            for (const auto& commands : run.commands) {
                cancelled.push_back(commands.cancelled);
            }
            waits.insert(waits.end(), run.waits.begin(), run.waits.end());
            passes.push_back(run.pass);
            last.push_back(run.lastReceived);
        }
        std::cout << (whileInquiring ? "while inquiring" : "after the inquiry")
                  << ": devices found per inquiry " << range(found) << ", the last at "
                  << range(lastFound) << " s; inquiries cancelled per pass and adapter "
                  << range(cancelled) << "; found to push " << range(waits) << " s; pass "
                  << range(passes) << " s; last file in at " << range(last) << " s" << std::endl;
    }
}

}  // namespace
}  // namespace flarecast
