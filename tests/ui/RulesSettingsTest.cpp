// The campaign's rules in the settings: each kept as it was set, and a rule never set is off.

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>
#include <tuple>

#include "app/ui/RulesSettings.h"

namespace flarecast::campaign {

bool operator==(const DeviceList& a, const DeviceList& b) {
    return std::tie(a.addresses, a.prefixes, a.names) == std::tie(b.addresses, b.prefixes, b.names);
}
bool operator==(const Hours& a, const Hours& b) {
    return std::tie(a.from, a.to, a.days) == std::tie(b.from, b.to, b.days);
}
bool operator==(const Retry& a, const Retry& b) {
    return std::tie(a.times, a.delay) == std::tie(b.times, b.delay);
}
bool operator==(const Rules& a, const Rules& b) {
    return std::tie(a.repeat, a.passPause, a.pushPause, a.acceptedWindow, a.retry, a.declinedWindow,
                    a.majorClasses, a.allow, a.block, a.hours, a.serveWhileInquiring) ==
           std::tie(b.repeat, b.passPause, b.pushPause, b.acceptedWindow, b.retry, b.declinedWindow,
                    b.majorClasses, b.allow, b.block, b.hours, b.serveWhileInquiring);
}

}  // namespace flarecast::campaign

namespace flarecast::ui {
namespace {

using namespace std::chrono_literals;
using campaign::Rules;

class RulesSettings : public ::testing::Test {
protected:
    QTemporaryDir folder;
    QSettings settings{folder.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat};
};

Rules everyRule() {
    Rules rules;
    rules.repeat = true;
    rules.passPause = 45s;
    rules.pushPause = 1500ms;
    rules.acceptedWindow = 90min;
    rules.retry = campaign::Retry{2, 7min};
    rules.declinedWindow = 48h;
    rules.majorClasses = std::set<int>{2, 6};
    rules.allow = {{"001234560001"}, {"00AABB"}, {"Ada*"}};
    rules.block = {{"001234560002", "001234560003"}, {}, {"*tablet*", "Grace?"}};
    rules.hours = campaign::Hours{20, 4, {true, false, true, false, true, false, false}};
    rules.serveWhileInquiring = true;
    return rules;
}

TEST_F(RulesSettings, NothingSavedIsEveryRuleOff) {
    EXPECT_EQ(loadRules(settings), Rules{});
    EXPECT_FALSE(loadRules(settings).acceptedWindowInForce());
    EXPECT_FALSE(loadRules(settings).declinedWindowInForce());
}

// What was saved comes back as it was, rule by rule.
TEST_F(RulesSettings, RulesComeBackAsSaved) {
    Rules noWindows;
    noWindows.repeat = true;
    noWindows.acceptedWindow = 0min;
    noWindows.declinedWindow = 0min;
    Rules onlyBlockedNames;
    onlyBlockedNames.block.names = {"Printer*"};
    Rules emptyKindList;
    emptyKindList.majorClasses = std::set<int>{};
    for (const Rules& rules : {everyRule(), noWindows, onlyBlockedNames, emptyKindList, Rules{}}) {
        saveRules(settings, rules);
        EXPECT_EQ(loadRules(settings), rules);
    }
}

// Turned off, a rule is off, but its values stay for when it is turned on again.
TEST_F(RulesSettings, RulesTurnedOffKeepTheirValues) {
    saveRules(settings, everyRule());
    saveRules(settings, Rules{});
    EXPECT_EQ(loadRules(settings), Rules{});
    Rules values = everyRule();
    values.repeat = false;
    values.serveWhileInquiring = false;
    EXPECT_EQ(loadRuleValues(settings), values);
}

TEST_F(RulesSettings, ValuesNeverSavedAreTheDefaults) {
    const Rules values = loadRuleValues(settings);
    EXPECT_EQ(values.passPause, Rules{}.passPause);
    EXPECT_EQ(values.pushPause, 5000ms);
    EXPECT_EQ(values.acceptedWindow, 24h);
    EXPECT_EQ(values.retry, (campaign::Retry{3, 10min}));
    ASSERT_TRUE(values.majorClasses);
    EXPECT_TRUE(values.majorClasses->empty());
    ASSERT_TRUE(values.hours);
}

// Numbers that are no numbers, or out of range, are taken as never saved.
TEST_F(RulesSettings, BrokenValuesAreTheDefaults) {
    settings.setValue("campaign/retry", true);
    settings.setValue("campaign/retryTimes", "many");
    settings.setValue("campaign/retryDelayMinutes", -5);
    settings.setValue("campaign/hours", true);
    settings.setValue("campaign/hoursFrom", 25);
    settings.setValue("campaign/hoursTo", 6);
    const Rules rules = loadRules(settings);
    EXPECT_EQ(rules.retry, campaign::Retry{});
    ASSERT_TRUE(rules.hours);
    EXPECT_EQ(rules.hours->from, 9);
    EXPECT_EQ(rules.hours->to, 6);
}

}  // namespace
}  // namespace flarecast::ui
