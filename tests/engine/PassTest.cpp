// Whole passes of the engine among neighbourhoods of virtual phones.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "EngineTesting.h"
#include "GatedPhones.h"
#include "Phones.h"
#include "app/engine/PassProgress.h"
#include "bluetooth/discovery/LocalDevice.h"
#include "bluetooth/native/unavailable/UnavailableStack.h"

namespace flarecast::engine {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

// A device that offers Object Push on channel 9, served by a virtual phone described by phone.
std::string device(const std::string& address, const std::string& name, const std::string& phone) {
    return R"({ "address": ")" + address + R"(", "name": ")" + name + R"(",
                "services": [ { "uuid": "1105", "channel": 9 } ],
                "rfcomm": { "9": )" +
           phone + " } }";
}

std::string neighbourhood(const std::vector<std::string>& devices) {
    std::string list;
    for (const auto& each : devices) {
        list += (list.empty() ? "" : ",\n") + each;
    }
    return R"({ "inquiry_ms": 20, "devices": [ )" + list + " ] }";
}

std::vector<std::string> addressesOf(const std::vector<Logfile>& rows) {
    std::vector<std::string> addresses;
    for (const auto& row : rows) {
        addresses.push_back(row.bluetoothaddress);
    }
    return addresses;
}

// Every state a pass reported, in order, each with the count of rows in the table by then.
class Recorded final : public PassProgress {
public:
    struct Report {
        PassState state;
        std::size_t rows;
    };

    explicit Recorded(Rows& rows) : rows(rows) {}

    void changed(const PassState& now) override {
        const std::size_t rowsNow = rows.all().size();
        const std::lock_guard guard(lock);
        reports.push_back({now, rowsNow});
        arrived.notify_all();
    }

    std::vector<Report> all() {
        const std::lock_guard guard(lock);
        return reports;
    }
    PassState last() {
        const std::lock_guard guard(lock);
        return reports.empty() ? PassState{} : reports.back().state;
    }
    // Waits, within a generous bound, until some state reported is one that wanted accepts.
    bool waitFor(const std::function<bool(const PassState&)>& wanted) {
        std::unique_lock guard(lock);
        return arrived.wait_for(guard, std::chrono::seconds(60), [&] {
            return std::any_of(reports.begin(), reports.end(),
                               [&](const Report& report) { return wanted(report.state); });
        });
    }

private:
    Rows& rows;
    std::mutex lock;
    std::condition_variable arrived;
    std::vector<Report> reports;
};

bool isFinished(const PassState& state) {
    return state.phase == PassPhase::Finished;
}

std::size_t finishedCount(const std::vector<Recorded::Report>& reports) {
    return static_cast<std::size_t>(
        std::count_if(reports.begin(), reports.end(),
                      [](const auto& report) { return isFinished(report.state); }));
}

class PassTest : public ::testing::Test {
protected:
    void SetUp() override { Phones::get(); }
    testing::TempFolder files;
};

// Waits far longer than any test: a pass that gets anywhere was woken by what it waited for.
constexpr Pacing kEventsOnly{std::chrono::hours(1), std::chrono::milliseconds(0),
                             std::chrono::hours(1), std::chrono::hours(1), 5};

constexpr Pacing servingWhileInquiring(Pacing pacing) {
    pacing.serveWhileInquiring = true;
    return pacing;
}

struct PacingCase {
    const char* what;
    Pacing pacing;
};

const PacingCase kPacings[] = {
    {"short polls", kQuick},
    {"only events wake the pass", kEventsOnly},
    {"devices served while the inquiry goes on", servingWhileInquiring(kEventsOnly)},
};

// Five pushes wait for their owners; the sixth waits for a slot, and takes the first that frees.
// The owners answer in the order the test opens their gates, so the rows come 1, 6, 2, 3, 4, 5.
// With hour-long polls the pass still gets through: each search's end, each freed slot and the
// end of its jobs wake it.
TEST_F(PassTest, TheSixthPushWaitsForAFreeSlot) {
    for (const auto& c : kPacings) {
        SCOPED_TRACE(c.what);
        const std::string text = "An offer for six phones";
        const fs::path file = fileWith(files.path, "offer.txt", text);
        GatedNeighbourhood phones(6);
        Rows rows;
        PushJobs jobs(c.pacing.pushSlots);
        Printed printing;
        {
            Bluetoothfunctions worker(file, rows, jobs, c.pacing);
            worker.running = true;
            worker.start();
            ASSERT_TRUE(phones.owners.waitForArrivals(5));
            ASSERT_TRUE(testing::eventually([&] { return jobs.waiting() == 1; }));
            phones.owners.open(6);
            for (const int phone : {1, 2, 3, 4, 5}) {
                phones.owners.open(phone);
                const std::size_t rowsBefore = phone == 1 ? 2 : static_cast<std::size_t>(phone) + 1;
                ASSERT_TRUE(testing::eventually([&] { return rows.all().size() == rowsBefore; }));
            }
            ASSERT_TRUE(testing::eventually([&] { return worker.stopped.load(); }));
            jobs.waitUntilAllEnded();
        }
        const std::string printed = printing.take();
        const auto all = rows.all();

        std::vector<std::string> order;
        for (const int phone : {1, 6, 2, 3, 4, 5}) {
            order.push_back(GatedNeighbourhood::address(phone));
        }
        EXPECT_EQ(addressesOf(all), order) << printed;
        EXPECT_EQ(phones.owners.peakHeld(), 5);
        for (const auto& row : all) {
            EXPECT_TRUE(row.sent) << row.bluetoothaddress << "\n" << printed;
            EXPECT_EQ(row.bluetoothname, "Phone " + row.bluetoothaddress.substr(11));
            EXPECT_FALSE(row.datesent.empty());
            EXPECT_EQ(row.adapter, "") << "one adapter: rows name none";
        }
        for (int phone = 1; phone <= 6; ++phone) {
            EXPECT_TRUE(printedInOrder(printed, {"btspp://" + GatedNeighbourhood::address(phone) +
                                                     ":9;authenticate=false;encrypt=false",
                                                 "1", "Inquiry Completed"}));
        }
        const auto lines = linesOf(printed);
        for (const char* line : {"txt", "opening", "created header set", "Text Selected",
                                 "putting....", "put....", "closed..."}) {
            EXPECT_EQ(std::count(lines.begin(), lines.end(), line), 6) << line << "\n" << printed;
        }
        // Counted at the end of the pass: the five jobs still listed, the first having been
        // dropped when its slot went to the sixth.
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "5"), 1) << printed;
        if (c.pacing.endPause > std::chrono::minutes(1)) {
            // The pass ended when its jobs had, not at its end pause.
            EXPECT_EQ(lines.back(), "5") << printed;
        }
    }
}

// Phones 1 to 6 are in range of hci0 alone, 7 to 12 of hci1 alone, 13 and 14 of both. Each
// adapter holds five pushes at once and its sixth waits; every phone gets the file once, through
// an adapter that reaches it.
TEST_F(PassTest, SeveralAdaptersServeEachDeviceOnceWithFiveSlotsEach) {
    for (const auto& c : {kPacings[1], kPacings[2]}) {
        SCOPED_TRACE(c.what);
        const fs::path file = fileWith(files.path, "offer.txt", "An offer for two rooms");
        const auto range = [](int phone) -> std::string {
            return phone <= 6    ? R"("in_range_of": ["hci0"],)"
                   : phone <= 12 ? R"("in_range_of": ["hci1"],)"
                                 : "";
        };
        GatedNeighbourhood phones(14, R"("adapters": [ { "name": "hci0" }, { "name": "hci1" } ],)",
                                  range);
        Rows rows;
        PushJobs jobs(c.pacing.pushSlots);
        Printed printing;
        {
            Bluetoothfunctions worker(file, rows, jobs, c.pacing);
            worker.running = true;
            worker.start();
            ASSERT_TRUE(phones.owners.waitForArrivals(10));
            ASSERT_TRUE(testing::eventually([&] { return jobs.waiting() == 2; }));
            EXPECT_EQ(phones.owners.peakHeld(), 10);
            phones.owners.openAll();
            ASSERT_TRUE(testing::eventually([&] { return worker.stopped.load(); }));
            jobs.waitUntilAllEnded();
        }
        const std::string printed = printing.take();
        const auto all = rows.all();
        ASSERT_EQ(all.size(), 14U) << printed;
        std::set<std::string> served;
        for (const auto& row : all) {
            EXPECT_TRUE(served.insert(row.bluetoothaddress).second)
                << row.bluetoothaddress << " served twice\n"
                << printed;
            EXPECT_TRUE(row.sent) << row.bluetoothaddress << "\n" << printed;
            const int phone =
                static_cast<int>(bluetooth::parseAddress(row.bluetoothaddress) - 0x0012345600c0);
            const std::string expected = phone <= 6 ? "hci0" : phone <= 12 ? "hci1" : "";
            if (!expected.empty()) {
                EXPECT_EQ(row.adapter, expected) << row.bluetoothaddress;
            } else {
                EXPECT_THAT(row.adapter, ::testing::AnyOf("hci0", "hci1"));
            }
        }
        EXPECT_EQ(phones.owners.peakHeld(), 10);
    }
}

// The inquiry goes on until the pass is cancelled; its devices get the file meanwhile.
TEST_F(PassTest, DevicesServedWhileTheInquiryGoesOnGetTheFileBeforeItsEnd) {
    const fs::path file = fileWith(files.path, "offer.txt", "An offer at once");
    GatedNeighbourhood phones(2);
    SwappableStack& stack = *Phones::get().stack;
    stack.holdInquiries = true;
    Rows rows;
    PushJobs jobs(kEventsOnly.pushSlots);
    Printed printing;
    {
        Bluetoothfunctions worker(file, rows, jobs, servingWhileInquiring(kEventsOnly));
        worker.running = true;
        worker.start();
        EXPECT_TRUE(phones.owners.waitForArrivals(2));
        phones.owners.openAll();
        EXPECT_TRUE(testing::eventually([&] { return rows.all().size() == 2; }));
        EXPECT_FALSE(worker.stopped) << "the inquiry is still under way";
        worker.cancel();
        EXPECT_TRUE(worker.waitUntilStopped(std::chrono::seconds(60)));
        jobs.waitUntilAllEnded();
    }
    stack.holdInquiries = false;
    const std::string printed = printing.take();
    for (const auto& row : rows.all()) {
        EXPECT_TRUE(row.sent) << printed;
    }
}

TEST_F(PassTest, APushThatFailsGivesARowThatSaysNotSentAndThePassEnds) {
    struct Case {
        const char* what;
        const char* phone;
        std::size_t size;
        // The job's last lines: how far it got, then its error.
        std::vector<std::string> ending;
    };
    const Case cases[] = {
        {"owner ignores the prompt",
         R"({ "prompt": "ignore", "prompt_timeout_ms": 50 })",
         100,
         {"putting....", "Command not accepted 195(2)"}},
        // The disconnect of the failure path meets the same end of the stream.
        {"drops mid-body",
         R"({ "drop_after_bytes": 3000 })",
         10000,
         {"putting....", "put....", "End of stream while reading a packet",
          "End of stream while reading a packet"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path inbox = files.path / "inbox";
        std::string phone = c.phone;
        phone.insert(1,
                     R"( "save_to": ")" + testing::jsonEscaped(bluetooth::utf8Of(inbox)) + R"(",)");
        const fs::path file = fileWith(files.path, "offer.txt", std::string(c.size, 'x'));
        OtherPhones phones(neighbourhood({device("0012345600b1", "Phone", phone)}));

        const Pass pass = runPass(file);

        ASSERT_EQ(pass.rows.size(), 1U) << pass.printed;
        EXPECT_EQ(pass.rows[0].bluetoothaddress, "0012345600b1");
        EXPECT_EQ(pass.rows[0].bluetoothname, "Phone");
        EXPECT_FALSE(pass.rows[0].sent) << pass.printed;
        std::vector<std::string> job = {"btspp://0012345600b1:9;authenticate=false;encrypt=false",
                                        "1",
                                        "Inquiry Completed",
                                        "txt",
                                        "opening",
                                        "created header set",
                                        "Text Selected"};
        job.insert(job.end(), c.ending.begin(), c.ending.end());
        EXPECT_TRUE(printedInOrder(pass.printed, job));
        EXPECT_THAT(pass.printed, Not(HasSubstr("closed...")));
        EXPECT_TRUE(!fs::exists(inbox) || fs::is_empty(inbox)) << "the phone kept an object";
    }
}

// Phones 1 and 2 take the file, 3 offers no Object Push, 4 declines the object. The three pushes
// hold until the test opens their phones' gates in the order 2, 4, 1; the counts follow each
// step, and Finished comes once, after the last push's row, also when the worker's own run ends
// before its pushes do, and with two adapters whose inquiries both find every phone.
TEST_F(PassTest, ProgressFollowsThePassAndFinishedComesOnceAfterTheLastPush) {
    Pacing jobsOutliveThePass = kEventsOnly;
    jobsOutliveThePass.endPause = std::chrono::milliseconds(0);
    struct Case {
        const char* what;
        Pacing pacing;
        const char* adapters;
    };
    const Case cases[] = {
        {"the pass waits for its pushes", kEventsOnly, ""},
        {"the pushes outlive the pass", jobsOutliveThePass, ""},
        {"two adapters find every phone", kEventsOnly,
         R"("adapters": [ { "name": "hci0" }, { "name": "hci1" } ],)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const bool oneAdapter = std::string(c.adapters).empty();
        const fs::path file = fileWith(files.path, "offer.txt", "An offer for four phones");
        GatedNeighbourhood phones(4, c.adapters, [](int phone) -> std::string {
            return phone == 3 ? R"("sdp": "none",)" : "";
        });
        phones.owners.decline(4);
        Rows rows;
        Recorded progress(rows);
        PushJobs jobs(c.pacing.pushSlots);
        Printed printing;
        const auto began = std::chrono::steady_clock::now();
        {
            Bluetoothfunctions worker(file, rows, jobs, c.pacing, &progress);
            worker.running = true;
            worker.start();
            ASSERT_TRUE(phones.owners.waitForArrivals(3));
            ASSERT_TRUE(progress.waitFor([](const PassState& now) {
                return now.found == 4 && now.offering == 3 && now.running == 3;
            }));
            if (c.pacing.endPause == std::chrono::milliseconds(0)) {
                ASSERT_TRUE(worker.waitUntilStopped(std::chrono::seconds(60)));
                EXPECT_EQ(finishedCount(progress.all()), 0U) << "its pushes are still held";
            }
            struct Step {
                int phone;
                std::size_t running, sent, notSent;
            };
            for (const Step step : {Step{2, 2, 1, 0}, Step{4, 1, 1, 1}, Step{1, 0, 2, 1}}) {
                phones.owners.open(step.phone);
                ASSERT_TRUE(progress.waitFor([&](const PassState& now) {
                    return now.sent + now.notSent == step.sent + step.notSent;
                })) << "phone "
                    << step.phone;
                const PassState now = progress.last();
                EXPECT_EQ(now.running, step.running) << "phone " << step.phone;
                EXPECT_EQ(now.sent, step.sent) << "phone " << step.phone;
                EXPECT_EQ(now.notSent, step.notSent) << "phone " << step.phone;
                EXPECT_EQ(now.found, 4U);
                EXPECT_EQ(now.offering, 3U);
            }
            ASSERT_TRUE(progress.waitFor(isFinished));
            ASSERT_TRUE(worker.waitUntilStopped(std::chrono::seconds(60)));
            jobs.waitUntilAllEnded();
        }
        const std::string printed = printing.take();

        EXPECT_EQ(addressesOf(rows.all()),
                  (std::vector<std::string>{GatedNeighbourhood::address(2),
                                            GatedNeighbourhood::address(4),
                                            GatedNeighbourhood::address(1)}))
            << printed;
        const auto reports = progress.all();
        ASSERT_FALSE(reports.empty());
        EXPECT_EQ(finishedCount(reports), 1U);
        const Recorded::Report& finished = reports.back();
        EXPECT_TRUE(isFinished(finished.state)) << "Finished comes last";
        EXPECT_EQ(finished.rows, 3U) << "Finished comes after the last push's row";
        EXPECT_EQ(finished.state.found, 4U);
        EXPECT_EQ(finished.state.offering, 3U);
        EXPECT_EQ(finished.state.running, 0U);
        EXPECT_EQ(finished.state.sent, 2U);
        EXPECT_EQ(finished.state.notSent, 1U);

        const PassState& first = reports.front().state;
        EXPECT_EQ(first.phase, PassPhase::Inquiring);
        EXPECT_EQ(first.inquiryLength, std::chrono::milliseconds(20)) << "the file's inquiry_ms";
        EXPECT_GE(first.inquiryBegan, began);

        // Counts only grow, but for the pushes running, which rise to three as the pushes start
        // and fall as the gates open; each push's end is told after its row.
        std::vector<std::size_t> running = {0};
        PassState before;
        for (const auto& [now, rowsThen] : reports) {
            EXPECT_GE(now.found, before.found);
            EXPECT_GE(now.offering, before.offering);
            EXPECT_GE(now.sent, before.sent);
            EXPECT_GE(now.notSent, before.notSent);
            EXPECT_LE(now.offering, now.found);
            EXPECT_EQ(rowsThen, now.sent + now.notSent);
            if (now.running != running.back()) {
                running.push_back(now.running);
            }
            if (oneAdapter && now.found > before.found) {
                EXPECT_EQ(now.phase, PassPhase::Inquiring);
            }
            if (oneAdapter && now.running > before.running) {
                EXPECT_EQ(now.phase, PassPhase::Pushing);
            }
            before = now;
        }
        EXPECT_EQ(running, (std::vector<std::size_t>{0, 1, 2, 3, 2, 1, 0}));
    }
}

// A pass cancelled, or whose worker goes, while its pushes are held never reports Finished,
// also when its own run had ended before. Once the worker is gone it reports nothing more,
// while the pushes still end with their rows.
TEST_F(PassTest, ACancelledPassNeverReportsFinished) {
    enum class Ending { Cancel, DestroyTheWorker, CancelAfterTheRunEnded };
    Pacing jobsOutliveThePass = kEventsOnly;
    jobsOutliveThePass.endPause = std::chrono::milliseconds(0);
    struct Case {
        const char* what;
        Ending ending;
        Pacing pacing;
    };
    const Case cases[] = {
        {"cancelled while pushing", Ending::Cancel, kEventsOnly},
        {"the worker goes while pushing", Ending::DestroyTheWorker, kEventsOnly},
        {"cancelled after its run ended, before its pushes did", Ending::CancelAfterTheRunEnded,
         jobsOutliveThePass},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path file = fileWith(files.path, "offer.txt", "An offer cut short");
        GatedNeighbourhood phones(2);
        Rows rows;
        Recorded progress(rows);
        PushJobs jobs(c.pacing.pushSlots);
        Printed printing;
        std::optional<Bluetoothfunctions> worker;
        worker.emplace(file, rows, jobs, c.pacing, &progress);
        worker->running = true;
        worker->start();
        ASSERT_TRUE(phones.owners.waitForArrivals(2));
        ASSERT_TRUE(progress.waitFor([](const PassState& now) { return now.running == 2; }));
        switch (c.ending) {
            case Ending::Cancel:
                worker->cancel();
                break;
            case Ending::DestroyTheWorker:
                worker.reset();
                break;
            case Ending::CancelAfterTheRunEnded:
                ASSERT_TRUE(worker->waitUntilStopped(std::chrono::seconds(60)));
                worker->cancel();
                break;
        }
        const std::size_t reportedBefore = progress.all().size();
        phones.owners.openAll();
        jobs.waitUntilAllEnded();
        if (worker) {
            EXPECT_TRUE(progress.waitFor([](const PassState& now) { return now.sent == 2; }));
            ASSERT_TRUE(worker->waitUntilStopped(std::chrono::seconds(60)));
            worker.reset();
        } else {
            EXPECT_EQ(progress.all().size(), reportedBefore) << "reported after the worker went";
        }
        printing.take();
        EXPECT_EQ(rows.all().size(), 2U);
        EXPECT_EQ(finishedCount(progress.all()), 0U);
    }
}

// The inquiry's length comes from the native stack: the neighbourhood file's inquiry_ms, or the
// standard 10.24 s from a stack that does not say. A pass that finds nobody finishes at once.
TEST_F(PassTest, TheInquiryLengthReportedIsTheStacks) {
    EXPECT_EQ(bluetooth::UnavailableStack().inquiryLength(), std::chrono::milliseconds(10240));
    OtherPhones phones(R"({ "inquiry_ms": 37, "devices": [] })");
    EXPECT_EQ(bluetooth::LocalDevice::getLocalDevice().getDiscoveryAgent().inquiryLength(),
              std::chrono::milliseconds(37));
    const fs::path file = fileWith(files.path, "offer.txt", "An offer for nobody");
    Rows rows;
    Recorded progress(rows);
    PushJobs jobs(kEventsOnly.pushSlots);
    Printed printing;
    {
        Bluetoothfunctions worker(file, rows, jobs, kEventsOnly, &progress);
        worker.running = true;
        worker.start();
        ASSERT_TRUE(progress.waitFor(isFinished));
        ASSERT_TRUE(worker.waitUntilStopped(std::chrono::seconds(60)));
    }
    printing.take();
    const auto reports = progress.all();
    ASSERT_EQ(reports.size(), 2U);
    EXPECT_EQ(reports[0].state.phase, PassPhase::Inquiring);
    EXPECT_EQ(reports[0].state.inquiryLength, std::chrono::milliseconds(37));
    EXPECT_EQ(reports[1].state.phase, PassPhase::Finished);
    EXPECT_EQ(reports[1].state.inquiryLength, std::chrono::milliseconds(37));
    EXPECT_EQ(reports[1].state.found, 0U);
    EXPECT_EQ(reports[1].state.sent + reports[1].state.notSent + reports[1].state.running, 0U);
}

}  // namespace
}  // namespace flarecast::engine
