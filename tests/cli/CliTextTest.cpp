// What flarecast-cli reads from its command line and how it writes rows and reports.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/cli/OptionText.h"
#include "app/cli/RowText.h"
#include "app/cli/Terminal.h"

namespace flarecast::cli {
namespace {

using std::chrono::seconds;
using ::testing::ElementsAre;

TEST(OptionText, Durations) {
    const struct {
        const char* text;
        std::optional<seconds> duration;
    } cases[] = {
        {"90s", seconds(90)},    {"10m", seconds(600)},  {"24h", seconds(86400)},
        {"7d", seconds(604800)}, {"15", seconds(900)},   {"0", seconds(0)},
        {"", std::nullopt},      {"h", std::nullopt},    {"-5m", std::nullopt},
        {"5x", std::nullopt},    {"1.5h", std::nullopt}, {"99999999999d", std::nullopt},
    };
    for (const auto& each : cases) {
        EXPECT_EQ(durationOf(each.text), each.duration) << each.text;
    }
    // The rules keep minutes: never a shorter window than asked.
    EXPECT_EQ(wholeMinutes(seconds(90)), std::chrono::minutes(2));
    EXPECT_EQ(wholeMinutes(seconds(0)), std::chrono::minutes(0));
}

TEST(OptionText, HoursAndDays) {
    using Hours = std::optional<std::pair<int, int>>;
    EXPECT_EQ(hoursOf("9-18"), Hours({9, 18}));
    EXPECT_EQ(hoursOf("22-6"), Hours({22, 6}));
    EXPECT_EQ(hoursOf("18-24"), Hours({18, 0}));
    EXPECT_EQ(hoursOf("0-24"), Hours({0, 0}));
    for (const char* refused : {"9", "9-9", "9-25", "-3-4", "a-b", "9-18-20"}) {
        EXPECT_EQ(hoursOf(refused), std::nullopt) << refused;
    }
    using Days = std::optional<std::array<bool, 7>>;
    EXPECT_EQ(daysOf("mon-fri"), Days({true, true, true, true, true, false, false}));
    EXPECT_EQ(daysOf("Mon,WED,saturday"), Days({true, false, true, false, false, true, false}));
    EXPECT_EQ(daysOf("fri-mon"), Days({true, false, false, false, true, true, true}));
    EXPECT_EQ(daysOf("sun"), Days({false, false, false, false, false, false, true}));
    for (const char* refused : {"", "mo", "mon-", "someday", "mon,,tue"}) {
        EXPECT_EQ(daysOf(refused), std::nullopt) << refused;
    }
}

TEST(RowText, CsvLinesAreTheWindowsAndDefuseFormulas) {
    engine::Logfile row{"=cmd|' /C calc'!A0", "00123456789a", "Friday, 11 December", true};
    row.detail = "Sent";
    EXPECT_EQ(csvLine(row, false),
              "'=cmd|' /C calc'!A0,00123456789a,\"Friday, 11 December\",true,Sent");
    row.bluetoothname = "Ada's \"phone\"";
    row.sent = false;
    row.adapter = "hci1";
    row.detail = "Declined on the phone (0xC3)";
    EXPECT_EQ(csvLine(row, true),
              "\"Ada's \"\"phone\"\"\",00123456789a,\"Friday, 11 December\","
              "false,hci1,Declined on the phone (0xC3)");
    EXPECT_EQ(csvHeader(false), "BLUETOOTH NAME,BLUETOOTH ADDRESS,DATE/TIME,SENT,DETAIL");
}

TEST(RowText, NamesFromTheAirCannotSteerTheTerminalOrBreakJson) {
    engine::Logfile row{"Evil\x1b[2J\xff", "00123456789a", "now", false};
    row.detail = "Not reachable";
    EXPECT_EQ(readableLine(row), "Not sent to Evil?[2J\xff (00123456789a): Not reachable");
    EXPECT_EQ(jsonLine(row),
              R"({"name":"Evil\u001b[2J)"
              "\xef\xbf\xbd"
              R"(","address":"00123456789a","date":"now","sent":false,"adapter":"","detail":)"
              R"("Not reachable","error":"","response_code":null,"class":"0x000000"})");
}

TEST(RowText, ReportTableAlignsItsColumnsAndTotals) {
    const std::vector<campaign::DayTotals> days = {{"2026-12-10", 120, 80, 75, 3, 2},
                                                   {"2026-12-11", 7, 5, 4, 0, 1}};
    EXPECT_THAT(reportTable(days),
                ElementsAre("day         found  offering  sent  declined  failed",
                            "2026-12-10    120        80    75         3       2",
                            "2026-12-11      7         5     4         0       1",
                            "total         127        85    79         3       3"));
    EXPECT_THAT(reportJson(days),
                ElementsAre(R"({"day":"2026-12-10","found":120,"offering":80,"sent":75,)"
                            R"("declined":3,"failed":2})",
                            R"({"day":"2026-12-11","found":7,"offering":5,"sent":4,)"
                            R"("declined":0,"failed":1})"));
}

TEST(Terminal, ProgressText) {
    engine::PassState state;
    state.phase = engine::PassPhase::Pushing;
    state.found = 5;
    state.offering = 3;
    state.running = 2;
    state.sent = 1;
    EXPECT_EQ(progressText(2, state),
              "Pass 2: pushing; 5 found, 3 offering, 2 pushing, 1 sent, 0 not sent");
}

}  // namespace
}  // namespace flarecast::cli
