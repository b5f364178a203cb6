// Which rule skips a device, and when none does.

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/campaign/RuleCheck.h"

namespace flarecast::campaign {
namespace {

using namespace std::chrono_literals;

constexpr std::int32_t kPhoneClass = 0x5a020c;
constexpr std::int32_t kPrinterClass = 0x040680;

const Clock::time_point kNow = Clock::now();
// Wednesday, ten in the morning.
constexpr LocalTime kWednesdayMorning{2, 10};

struct Case {
    const char* what;
    std::function<void(Rules&)> rules;
    engine::SeenDevice device;
    DeviceRecord record;
    LocalTime local;
    std::optional<std::string> reason;
};

engine::SeenDevice phone(const std::string& address = "00123456789A",
                         const std::string& name = "Ada's phone") {
    return {address, name, kPhoneClass, ""};
}

Hours everyDay(int from, int to) {
    Hours hours;
    hours.from = from;
    hours.to = to;
    return hours;
}

DeviceRecord failedLink(int times, Clock::duration ago) {
    DeviceRecord record;
    record.lastRadioFailure = kNow - ago;
    record.radioFailuresInARow = times;
    return record;
}

TEST(RuleCheck, NamesTheRuleThatSkipsTheDevice) {
    const auto none = [](Rules&) {};
    const std::vector<Case> cases = {
        {"no rule skips anyone", none, phone(), {}, kWednesdayMorning, std::nullopt},
        {"no rule, even after a recent acceptance", none, phone(),
         DeviceRecord{kNow - 1min, {}, {}, 0}, kWednesdayMorning, std::nullopt},
        {"repeating keeps accepted phones for a day", [](Rules& r) { r.repeat = true; }, phone(),
         DeviceRecord{kNow - 3h, {}, {}, 0}, kWednesdayMorning, "accepted 3 h ago, within 24 h"},
        {"after the window they are pushed again", [](Rules& r) { r.repeat = true; }, phone(),
         DeviceRecord{kNow - 25h, {}, {}, 0}, kWednesdayMorning, std::nullopt},
        {"a zero window turns the default off",
         [](Rules& r) {
             r.repeat = true;
             r.acceptedWindow = 0min;
         },
         phone(), DeviceRecord{kNow - 3h, {}, {}, 0}, kWednesdayMorning, std::nullopt},
        {"repeating leaves decliners alone for a day", [](Rules& r) { r.repeat = true; }, phone(),
         DeviceRecord{{}, kNow - 5h, {}, 0}, kWednesdayMorning, "declined 5 h ago, within 24 h"},
        {"unless told otherwise",
         [](Rules& r) {
             r.repeat = true;
             r.declinedWindow = 0min;
         },
         phone(), DeviceRecord{{}, kNow - 5h, {}, 0}, kWednesdayMorning, std::nullopt},
        {"decliners are left alone", [](Rules& r) { r.declinedWindow = 48h; }, phone(),
         DeviceRecord{{}, kNow - 30h, {}, 0}, kWednesdayMorning, "declined 30 h ago, within 2 d"},
        {"blocked address, any spelling",
         [](Rules& r) { r.block.addresses = {"00123456789A"}; },
         phone("00:12:34:56:78:9a"),
         {},
         kWednesdayMorning,
         "blocked address"},
        {"blocked maker",
         [](Rules& r) { r.block.prefixes = {"001234"}; },
         phone(),
         {},
         kWednesdayMorning,
         "blocked maker"},
        {"blocked name, ignoring case",
         [](Rules& r) { r.block.names = {"ada*PHONE"}; },
         phone(),
         {},
         kWednesdayMorning,
         "blocked name"},
        {"a name pattern must match the whole name",
         [](Rules& r) { r.block.names = {"Ada"}; },
         phone(),
         {},
         kWednesdayMorning,
         std::nullopt},
        {"the block list wins over the allow list",
         [](Rules& r) {
             r.allow.names = {"*"};
             r.block.addresses = {"00123456789A"};
         },
         phone(),
         {},
         kWednesdayMorning,
         "blocked address"},
        {"not on the allow list",
         [](Rules& r) { r.allow.prefixes = {"AABBCC"}; },
         phone(),
         {},
         kWednesdayMorning,
         "not on the allow list"},
        {"on the allow list",
         [](Rules& r) { r.allow.names = {"?da's*"}; },
         phone(),
         {},
         kWednesdayMorning,
         std::nullopt},
        {"only phones",
         [](Rules& r) { r.majorClasses = std::set{kMajorPhone}; },
         {"00123456789B", "Printer", kPrinterClass, ""},
         {},
         kWednesdayMorning,
         "class Imaging is not pushed"},
        {"only phones lets phones through",
         [](Rules& r) { r.majorClasses = std::set{kMajorPhone}; },
         phone(),
         {},
         kWednesdayMorning,
         std::nullopt},
        {"outside the hours",
         [](Rules& r) { r.hours = everyDay(12, 18); },
         phone(),
         {},
         kWednesdayMorning,
         "outside the campaign's hours"},
        {"not on Wednesdays",
         [](Rules& r) {
             r.hours = Hours{0, 0, {true, true, false, true, true, true, true}};
         },
         phone(),
         {},
         kWednesdayMorning,
         "outside the campaign's hours"},
        {"hours over midnight",
         [](Rules& r) { r.hours = everyDay(22, 11); },
         phone(),
         {},
         kWednesdayMorning,
         std::nullopt},
        {"a failed link waits for its delay",
         [](Rules& r) {
             r.retry = Retry{3, 10min};
         },
         phone(), failedLink(1, 2min), kWednesdayMorning,
         "the link failed 2 min ago, next try after 10 min"},
        {"and is tried after it",
         [](Rules& r) {
             r.retry = Retry{3, 10min};
         },
         phone(), failedLink(3, 11min), kWednesdayMorning, std::nullopt},
        {"until its tries are used up",
         [](Rules& r) {
             r.retry = Retry{3, 10min};
         },
         phone(), failedLink(4, 5h), kWednesdayMorning,
         "the link failed 4 times, the last 5 h ago"},
        {"for a day",
         [](Rules& r) {
             r.retry = Retry{3, 10min};
         },
         phone(), failedLink(4, 25h), kWednesdayMorning, std::nullopt},
        {"without the retry rule a failed link is tried at once", none, phone(), failedLink(9, 1s),
         kWednesdayMorning, std::nullopt},
    };
    for (const auto& each : cases) {
        Rules rules;
        each.rules(rules);
        EXPECT_EQ(skipReason(rules, each.device, each.record, kNow, each.local), each.reason)
            << each.what;
    }
}

TEST(RuleCheck, ReadsAddressesAndClassNames) {
    EXPECT_EQ(normalAddress("00:1a:7d:da:71:13"), "001A7DDA7113");
    EXPECT_EQ(normalAddress("00-1A-7D"), "001A7D");
    EXPECT_EQ(normalAddress("001A7D"), "001A7D");
    EXPECT_EQ(normalAddress("001A7"), std::nullopt);
    EXPECT_EQ(normalAddress("Ada's phone"), std::nullopt);
    EXPECT_EQ(majorClassNamed("phone"), kMajorPhone);
    EXPECT_EQ(majorClassNamed("Imaging"), 6);
    EXPECT_EQ(majorClassNamed("toaster"), std::nullopt);
    EXPECT_EQ(majorClassName(kMajorPhone), "Phone");
}

}  // namespace
}  // namespace flarecast::campaign
