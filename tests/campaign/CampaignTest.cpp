// Campaigns of repeated passes among virtual phones, remembered in a history.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>

#include "app/campaign/Campaign.h"
#include "tests/engine/Phones.h"

namespace flarecast::campaign {
namespace {

using engine::Phones;
using ::testing::HasSubstr;
using ::testing::Not;
using namespace std::chrono_literals;

std::string device(const std::string& address, const std::string& name, const char* deviceClass,
                   const std::string& phone) {
    return R"({ "address": ")" + address + R"(", "name": ")" + name + R"(", "class": ")" +
           deviceClass + R"(", "services": [ { "uuid": "1105", "channel": 9 } ],
                "rfcomm": { "9": )" +
           phone + " } }";
}

// Accepts, drops the link, declines, a printer that would accept, a blocked phone that would.
std::string shop() {
    constexpr const char* kPhone = "0x5a020c";
    return R"({ "inquiry_ms": 20, "devices": [ )" +
           device("00AA00000001", "Accepts", kPhone, R"({ "preset": "strict" })") + ",\n" +
           device("00AA00000002", "Drops", kPhone, R"({ "drop_after_bytes": 3000 })") + ",\n" +
           device("00AA00000003", "Declines", kPhone,
                  R"({ "preset": "strict", "prompt": "decline" })") +
           ",\n" + device("00AA00000004", "Printer", "0x040680", R"({ "preset": "strict" })") +
           ",\n" + device("00AA00000005", "Blocked", kPhone, R"({ "preset": "strict" })") + " ] }";
}

Rules shopRules() {
    Rules rules;
    rules.repeat = true;
    rules.passPause = 0s;
    rules.retry = Retry{1, 0min};
    rules.declinedWindow = 24h;
    rules.majorClasses = std::set{kMajorPhone};
    rules.block.addresses = {"00AA00000005"};
    return rules;
}

// Counts the passes that came to their end.
class Finishes final : public engine::PassProgress {
public:
    void changed(const engine::PassState& now) override {
        if (now.phase == engine::PassPhase::Finished) {
            const std::lock_guard guard(lock);
            ++count;
            more.notify_all();
        }
    }
    bool waitFor(int passes) {
        std::unique_lock guard(lock);
        return more.wait_for(guard, 60s, [&] { return count >= passes; });
    }

private:
    std::mutex lock;
    std::condition_variable more;
    int count = 0;
};

struct CampaignRun {
    std::vector<engine::Logfile> rows;
    std::string printed;
    int passes = 0;
};

// A campaign stopped once `passes` of its passes have come to their end.
CampaignRun runCampaign(const std::filesystem::path& file, History& history, int passes) {
    engine::Rows rows;
    Finishes finishes;
    CampaignRun run;
    ::testing::internal::CaptureStdout();
    {
        engine::PushJobs jobs(engine::kQuick.pushSlots);
        Campaign campaign({file, shopRules(), engine::kQuick}, &history, rows, jobs, &finishes);
        campaign.start();
        EXPECT_TRUE(finishes.waitFor(passes)) << "the passes did not end";
        campaign.stop();
        EXPECT_TRUE(campaign.waitUntilEnded(60s)) << "the campaign did not stop";
        jobs.waitUntilAllEnded();
        run.passes = campaign.passes();
    }
    run.printed = ::testing::internal::GetCapturedStdout();
    run.rows = rows.all();
    return run;
}

std::map<std::string, std::vector<Outcome>> attemptsIn(History& history) {
    std::map<std::string, std::vector<Outcome>> attempts;
    for (const auto& push : history.pushes()) {
        attempts[push.address].push_back(push.outcome);
    }
    return attempts;
}

TEST(Campaign, RepeatedPassesPushEachPhoneAsTheRulesSay) {
    Phones::get();
    const engine::OtherPhones phones(shop());
    testing::TempFolder folder;
    const auto file = engine::fileWith(folder.path, "offer.jpg", std::string(20000, 'x'));
    const std::map<std::string, std::vector<Outcome>> expected = {
        {"00aa00000001", {Outcome::Sent}},
        {"00aa00000002", {Outcome::RadioFailure, Outcome::RadioFailure}},
        {"00aa00000003", {Outcome::Declined}},
    };
    {
        History history(folder.path / "history.sqlite");
        const CampaignRun run = runCampaign(file, history, 3);
        EXPECT_GE(run.passes, 3);
        EXPECT_EQ(run.rows.size(), 4U);
        EXPECT_EQ(attemptsIn(history), expected);
        EXPECT_THAT(run.printed, HasSubstr("Skipped 00aa00000005 (Blocked): blocked address"));
        EXPECT_THAT(run.printed,
                    HasSubstr("Skipped 00aa00000004 (Printer): class Imaging is not pushed"));
        EXPECT_THAT(run.printed, HasSubstr("Skipped 00aa00000001 (Accepts): accepted "));
        EXPECT_THAT(run.printed, HasSubstr("Skipped 00aa00000003 (Declines): declined"));
        EXPECT_THAT(run.printed,
                    HasSubstr("Skipped 00aa00000002 (Drops): the link failed 2 times"));
        const auto pushes = history.pushes();
        const auto found = std::find_if(pushes.begin(), pushes.end(), [](const PushRecord& push) {
            return push.outcome == Outcome::Sent;
        });
        ASSERT_NE(found, pushes.end());
        const PushRecord& sent = *found;
        EXPECT_EQ(sent.address, "00aa00000001");
        EXPECT_EQ(sent.deviceClass, 0x5a020c);
        EXPECT_EQ(sent.responseCode, 0xA0);
        EXPECT_EQ(sent.file, bluetooth::utf8Of(file));
        EXPECT_EQ(sent.checksum.size(), 64U);
        const auto seen = history.seen("00aa00000004");
        ASSERT_TRUE(seen.has_value());
        EXPECT_GE(seen->timesSeen, 3);
    }
    // Another program on the same history, later: nobody new to push.
    History again(folder.path / "history.sqlite");
    const CampaignRun second = runCampaign(file, again, 1);
    EXPECT_TRUE(second.rows.empty());
    EXPECT_EQ(attemptsIn(again), expected);
}

TEST(Campaign, WithoutRulesOnePassPushesEveryPhoneOfferingObjectPush) {
    Phones::get();
    const engine::OtherPhones phones(shop());
    testing::TempFolder folder;
    const auto file = engine::fileWith(folder.path, "offer.jpg", std::string(20000, 'x'));
    engine::Rows rows;
    ::testing::internal::CaptureStdout();
    int passes = 0;
    {
        engine::PushJobs jobs(engine::kQuick.pushSlots);
        Campaign campaign({file, Rules{}, engine::kQuick}, nullptr, rows, jobs);
        campaign.start();
        EXPECT_TRUE(campaign.waitUntilEnded(60s));
        jobs.waitUntilAllEnded();
        passes = campaign.passes();
    }
    const std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(passes, 1);
    EXPECT_EQ(rows.all().size(), 5U);
    EXPECT_THAT(printed, Not(HasSubstr("Skipped")));
    EXPECT_THAT(printed, Not(HasSubstr("Pass ")));
}

}  // namespace
}  // namespace flarecast::campaign
