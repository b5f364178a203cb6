// flarecast-cli as a program: its options, its exit statuses, whole campaigns over neighbourhoods
// of virtual phones, and a stop by signal while a push is in flight.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "CliProcess.h"
#include "app/campaign/History.h"
#include "bluetooth/io/Utf8Path.h"
#include "tests/common/JsonText.h"
#include "tests/common/TempFolder.h"
#include "tests/engine/GatedPhones.h"

namespace flarecast::cli {
namespace {

namespace fs = std::filesystem;
using bluetooth::utf8Of;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::SizeIs;

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string contentOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The lines of a log written for people, which end as the platform's text files do.
std::vector<std::string> logLinesOf(const fs::path& file) {
#if defined(_WIN32)
    constexpr std::string_view kLineEnd = "\r\n";
#else
    constexpr std::string_view kLineEnd = "\n";
#endif
    std::string content = contentOf(file);
    std::vector<std::string> lines;
    for (std::size_t end; (end = content.find(kLineEnd)) != std::string::npos;) {
        lines.push_back(content.substr(0, end));
        content.erase(0, end + kLineEnd.size());
    }
    EXPECT_EQ(content, "") << "a last line without its end";
    return lines;
}

void write(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

// A phone that offers Object Push on channel 9, which leads to rfcomm: a virtual phone's keys
// or "tcp:HOST:PORT".
std::string phone(const std::string& address, const std::string& name, const std::string& rfcomm) {
    return R"({ "address": ")" + address + R"(", "name": ")" + name +
           R"(", "class": "0x5a020c", "services": [ { "uuid": "1105", "channel": 9 } ],
               "rfcomm": { "9": )" +
           rfcomm + " } }";
}

std::vector<campaign::Outcome> outcomesIn(const fs::path& history) {
    std::vector<campaign::Outcome> outcomes;
    for (const auto& push : campaign::History(history).pushes()) {
        outcomes.push_back(push.outcome);
    }
    return outcomes;
}

class CliProgram : public ::testing::Test {
protected:
    CliProgram() { write(offer, "a picture"); }

    // A neighbourhood file with these devices, quick to inquire.
    std::string neighbourhood(const std::vector<std::string>& devices) const {
        std::string list;
        for (const auto& each : devices) {
            list += (list.empty() ? "" : ",\n") + each;
        }
        write(folder.path / "neighbourhood.json",
              R"({ "inquiry_ms": 20, "devices": [ )" + list + " ] }");
        return utf8Of(folder.path / "neighbourhood.json");
    }

    testing::TempFolder folder;
    const fs::path offer = folder.path / "offer.jpg";
    const fs::path history = folder.path / "history.sqlite";
    const fs::path csv = folder.path / "log.csv";
};

TEST_F(CliProgram, RefusesOptionsItDoesNotTakeInOneLine) {
    const std::string file = utf8Of(offer);
    const struct {
        std::vector<std::string> arguments;
        const char* named;
    } cases[] = {
        {{"--file", file, "--bogus"}, "--bogus"},
        {{"--file", file, "--retry", "-1"}, "--retry"},
        {{"--file", file, "--hours", "9-25"}, "--hours"},
        {{"--file", file, "--days", "someday"}, "--days"},
        {{"--file", file, "--allow", "00:12:34:56"}, "--allow"},
        {{"--file", file, "--block", "phone"}, "--block"},
        {{"--file", file, "--no-repeat-within", "5x"}, "--no-repeat-within"},
        {{"--file", file, "--classes", "phone,toaster"}, "--classes"},
        {{"--repeat"}, "--file"},
    };
    for (const auto& each : cases) {
        const auto ended = run(each.arguments);
        EXPECT_EQ(ended.status, 2) << each.named;
        EXPECT_THAT(ended.out, IsEmpty()) << each.named;
        ASSERT_THAT(linesOf(ended.err), SizeIs(1)) << ended.err;
        EXPECT_THAT(ended.err, HasSubstr(each.named));
        EXPECT_THAT(ended.err, HasSubstr("Run with --help for usage"));
    }
}

TEST_F(CliProgram, RefusesAFileItCannotPushBeforeItTouchesTheHistory) {
    fs::create_directories(folder.path / "pictures.jpg");
    write(folder.path / "setup.exe", "MZ");
    const struct {
        fs::path file;
        const char* says;
    } cases[] = {
        {folder.path / "missing.jpg", "does not exist"},
        {folder.path / "pictures.jpg", "is a folder"},
        {folder.path / "setup.exe", "phones take"},
    };
    for (const auto& each : cases) {
        const auto ended = run({"--file", utf8Of(each.file), "--history", utf8Of(history)});
        EXPECT_EQ(ended.status, 1) << each.file;
        ASSERT_THAT(linesOf(ended.err), SizeIs(1)) << ended.err;
        EXPECT_THAT(ended.err, HasSubstr(utf8Of(each.file)));
        EXPECT_THAT(ended.err, HasSubstr(each.says));
        EXPECT_FALSE(fs::exists(history));
    }
}

// A history or a log that is some other file is left as it was, and nothing runs.
TEST_F(CliProgram, DoesNotRunWithoutAHistoryOrALogItCanWrite) {
    const fs::path list = folder.path / "shopping.txt";
    const struct {
        const char* option;
        fs::path other;
    } cases[] = {{"--history", list}, {"--csv", list}, {"--csv", folder.path}};
    for (const auto& each : cases) {
        write(list, "my shopping list\n");
        std::vector<std::string> arguments = {"--file",          utf8Of(offer), "--neighbourhood",
                                              neighbourhood({}), each.option,   utf8Of(each.other)};
        if (std::string(each.option) != "--history") {
            arguments.insert(arguments.end(), {"--history", utf8Of(history)});
        }
        const auto ended = run(arguments);
        EXPECT_EQ(ended.status, 1) << each.option;
        ASSERT_THAT(linesOf(ended.err), SizeIs(1)) << ended.err;
        EXPECT_THAT(ended.err, HasSubstr(utf8Of(each.other)));
        EXPECT_EQ(contentOf(list), "my shopping list\n");
    }
}

TEST_F(CliProgram, ReportsAnEmptyHistoryAsATableWithItsTotal) {
    campaign::History{history};
    const auto table = run({"--report", "--history", utf8Of(history)});
    EXPECT_EQ(table.status, 0) << table.err;
    EXPECT_THAT(linesOf(table.out), ElementsAre("day    found  offering  sent  declined  failed",
                                                "total      0         0     0         0       0"));
    const auto json = run({"--report", "--json", "--history", utf8Of(history)});
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_THAT(json.out, IsEmpty());
}

// One pass among a phone that accepts, one whose owner declines and one without Object Push:
// a row each for the first two, on standard output as JSON and in the log, and in the history.
TEST_F(CliProgram, RunsAPassIntoItsOutputsTheLogAndTheHistory) {
    const fs::path inbox = folder.path / "inbox";
    const std::string world = neighbourhood({
        phone("001234560001", "Accepts",
              R"({ "save_to": ")" + testing::jsonEscaped(utf8Of(inbox)) + R"(" })"),
        phone("001234560002", "Declines", R"({ "prompt": "decline" })"),
        R"({ "address": "001234560003", "name": "Silent", "sdp": "none" })",
    });
    const auto ended = run({"--file", utf8Of(offer), "--neighbourhood", world, "--history",
                            utf8Of(history), "--csv", utf8Of(csv), "--json", "--push-pause", "0"});
    ASSERT_EQ(ended.status, 0) << ended.err;

    std::map<std::string, nlohmann::json> rows;
    for (const auto& line : linesOf(ended.out)) {
        const auto row = nlohmann::json::parse(line, nullptr, false);
        ASSERT_FALSE(row.is_discarded()) << "not JSON on standard output: " << line;
        rows[row.at("name").get<std::string>()] = row;
    }
    ASSERT_THAT(rows, SizeIs(2)) << ended.out;
    EXPECT_EQ(rows["Accepts"].at("address"), "001234560001");
    EXPECT_EQ(rows["Accepts"].at("sent"), true);
    EXPECT_EQ(rows["Accepts"].at("detail"), "Sent");
    EXPECT_EQ(rows["Accepts"].at("response_code"), 0xA0);
    EXPECT_EQ(rows["Accepts"].at("class"), "0x5a020c");
    EXPECT_EQ(rows["Declines"].at("sent"), false);
    EXPECT_EQ(rows["Declines"].at("response_code"), 0xC3);
    EXPECT_THAT(rows["Declines"].at("detail").get<std::string>(), HasSubstr("Declined"));
    for (const auto& [name, row] : rows) {
        for (const char* key : {"date", "adapter", "error"}) {
            EXPECT_TRUE(row.at(key).is_string()) << name << " " << key;
        }
    }
    // Not a terminal: no progress line.
    EXPECT_EQ(ended.err.find('\r'), std::string::npos);
    EXPECT_EQ(contentOf(inbox / "offer.jpg"), "a picture");

    const auto log = logLinesOf(csv);
    ASSERT_THAT(log, SizeIs(3));
    EXPECT_EQ(log[0], "BLUETOOTH NAME,BLUETOOTH ADDRESS,DATE/TIME,SENT,ADAPTER,DETAIL");
    EXPECT_THAT(log, ::testing::Contains(HasSubstr("Accepts,001234560001,")));
    EXPECT_THAT(log, ::testing::Contains(::testing::EndsWith(",true,,Sent")));
    EXPECT_THAT(log,
                ::testing::Contains(::testing::EndsWith(",false,,Declined on the phone (0xC3)")));

    EXPECT_THAT(outcomesIn(history), ::testing::UnorderedElementsAre(campaign::Outcome::Sent,
                                                                     campaign::Outcome::Declined));
    const auto report = run({"--report", "--history", utf8Of(history)});
    ASSERT_EQ(report.status, 0);
    const auto table = linesOf(report.out);
    ASSERT_THAT(table, SizeIs(3)) << report.out;
    std::istringstream today(table[1]);
    std::string day;
    std::vector<int> counts(5);
    today >> day >> counts[0] >> counts[1] >> counts[2] >> counts[3] >> counts[4];
    // Found, offering, sent, declined, failed.
    EXPECT_THAT(counts, ElementsAre(3, 2, 1, 1, 0)) << report.out;
}

#if !defined(_WIN32)
// A pseudo-terminal and stop signals are POSIX's; Ctrl+C and Ctrl+Break reach a program only
// through a console it shares, which a test run need not have.

// On a terminal, standard error ends with a progress line that each line printed clears first,
// and none is left behind; the rows on standard output carry none of it.
TEST_F(CliProgram, DrawsItsProgressOnATerminalOnly) {
    const std::string world = neighbourhood({phone("001234560001", "Plain", "{}")});
    CliProcess program({"--file", utf8Of(offer), "--neighbourhood", world, "--history",
                        utf8Of(history), "--push-pause", "0"},
                       CliProcess::Errors::Terminal);
    const auto ended = program.finish();
    EXPECT_EQ(ended.status, 0) << ended.err;
    EXPECT_THAT(linesOf(ended.out), ElementsAre("Sent to Plain (001234560001)"));
    EXPECT_THAT(ended.err, HasSubstr("\r\x1b[KPass 1: "));
    // The terminal turns each line end into \r\n.
    EXPECT_THAT(ended.err,
                ::testing::EndsWith("\r\x1b[KEnded after 1 pass: 1 sent, 0 not sent\r\n"));
}

// SIGTERM while a push is held by its phone: the program waits for it and writes its row; a
// second signal cancels it at once.
TEST_F(CliProgram, StopsAfterThePushInFlightOrAtOnceOnASecondSignal) {
    const struct {
        int signals;
        bool sent;
        campaign::Outcome outcome;
    } cases[] = {
        {1, true, campaign::Outcome::Sent},
        {2, false, campaign::Outcome::Cancelled},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.signals);
        const testing::TempFolder files;
        const fs::path log = files.path / "log.csv";
        const fs::path memory = files.path / "history.sqlite";
        engine::Owners owner;
        const engine::GatedPhone held(owner, 0);
        const std::string world = neighbourhood({phone(
            "001234560009", "Held", "\"tcp:127.0.0.1:" + std::to_string(held.port()) + "\"")});
        CliProcess program({"--file", utf8Of(offer), "--neighbourhood", world, "--history",
                            utf8Of(memory), "--csv", utf8Of(log), "--push-pause", "0"});
        ASSERT_TRUE(program.started());
        ASSERT_TRUE(owner.waitForArrivals(1));
        program.signal(SIGTERM);
        ASSERT_TRUE(program.errorsSay("Stopping after the pushes in flight"));
        // The signal has been taken; the push still holds the program.
        EXPECT_FALSE(program.exited());
        if (each.signals == 2) {
            program.signal(SIGINT);
        } else {
            owner.openAll();
        }
        const auto ended = program.finish();
        EXPECT_EQ(ended.status, 0) << ended.err;
        EXPECT_THAT(linesOf(ended.out),
                    ElementsAre(HasSubstr(std::string(each.sent ? "Sent" : "Not sent") +
                                          " to Held (001234560009)")));
        const auto rows = logLinesOf(log);
        ASSERT_THAT(rows, SizeIs(2));
        EXPECT_THAT(rows[1], HasSubstr(each.sent ? ",true,," : ",false,,"));
        EXPECT_THAT(outcomesIn(memory), ElementsAre(each.outcome));
    }
}

#endif

// Passes until stopped push each phone once, and a later campaign over the same history pushes
// nobody; the campaign's own tests cover the rules in depth.
TEST_F(CliProgram, RepeatedPassesPushNobodyTwice) {
    const std::string world = neighbourhood({
        phone("001234560001", "First", "{}"),
        phone("001234560002", "Second", "{}"),
    });
    CliProcess repeating({"--file", utf8Of(offer), "--neighbourhood", world, "--history",
                          utf8Of(history), "--json", "--push-pause", "0", "--repeat", "--pause",
                          "0"});
    // A later pass skips both, which it does only once their rows are in the history.
    ASSERT_TRUE(repeating.readUntil([](const std::string&, const std::string& errors) {
        return errors.find("Skipped 001234560001 (First): accepted") != std::string::npos &&
               errors.find("Skipped 001234560002 (Second): accepted") != std::string::npos;
    }));
#if defined(_WIN32)
    // No stop signal to send: the program is killed, and has printed its rows already.
    repeating.kill();
    const auto ended = repeating.finish();
#else
    repeating.signal(SIGTERM);
    const auto ended = repeating.finish();
    EXPECT_EQ(ended.status, 0) << ended.err;
#endif
    std::vector<std::string> pushed;
    for (const auto& line : linesOf(ended.out)) {
        const auto row = nlohmann::json::parse(line);
        EXPECT_EQ(row.at("sent"), true) << line;
        pushed.push_back(row.at("address").get<std::string>());
    }
    EXPECT_THAT(pushed, ::testing::UnorderedElementsAre("001234560001", "001234560002"));

    const auto again =
        run({"--file", utf8Of(offer), "--neighbourhood", world, "--history", utf8Of(history),
             "--json", "--push-pause", "0", "--no-repeat-within", "24h"});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_THAT(again.out, IsEmpty());
    EXPECT_THAT(again.err, HasSubstr("Skipped 001234560001 (First): accepted"));
    EXPECT_THAT(again.err, HasSubstr("Skipped 001234560002 (Second): accepted"));
    EXPECT_THAT(outcomesIn(history), SizeIs(2));
}

// A program killed in the middle of a pass leaves a history that opens, with the pushes that
// had ended; and two programs writing one history at once lose nothing.
TEST_F(CliProgram, HistoryOutlivesAKillAndIsSharedByTwoPrograms) {
    engine::Owners owner;
    const engine::GatedPhone held(owner, 0);
    const std::string world = neighbourhood({
        phone("001234560001", "Quick", "{}"),
        phone("001234560009", "Held", "\"tcp:127.0.0.1:" + std::to_string(held.port()) + "\""),
    });
    CliProcess killed({"--file", utf8Of(offer), "--neighbourhood", world, "--history",
                       utf8Of(history), "--push-pause", "0"});
    ASSERT_TRUE(killed.started());
    ASSERT_TRUE(owner.waitForArrivals(1));
    ASSERT_TRUE(killed.readUntil([](const std::string& out, const std::string&) {
        return out.find("Sent to Quick (001234560001)") != std::string::npos;
    }));
    killed.kill();
    EXPECT_EQ(killed.finish().status, -1);
    EXPECT_THAT(outcomesIn(history), ElementsAre(campaign::Outcome::Sent));

    // Each pushes its own phones, all of them, into the history the killed one left.
    const auto crowd = [&](const std::string& first) {
        std::vector<std::string> phones;
        for (int i = 0; i < 6; ++i) {
            phones.push_back(phone(first + std::to_string(i), "Phone", "{}"));
        }
        return phones;
    };
    const std::string left = neighbourhood(crowd("00AAAAAAAAA"));
    const fs::path leftFile = folder.path / "left.json";
    fs::rename(bluetooth::pathFromUtf8(left), leftFile);
    const std::string right = neighbourhood(crowd("00BBBBBBBBB"));
    CliProcess one({"--file", utf8Of(offer), "--neighbourhood", utf8Of(leftFile), "--history",
                    utf8Of(history), "--push-pause", "0"});
    CliProcess other({"--file", utf8Of(offer), "--neighbourhood", right, "--history",
                      utf8Of(history), "--push-pause", "0"});
    const auto oneEnded = one.finish();
    const auto otherEnded = other.finish();
    EXPECT_EQ(oneEnded.status, 0) << oneEnded.err;
    EXPECT_EQ(otherEnded.status, 0) << otherEnded.err;
    const auto outcomes = outcomesIn(history);
    EXPECT_EQ(std::count(outcomes.begin(), outcomes.end(), campaign::Outcome::Sent), 13);
}

}  // namespace
}  // namespace flarecast::cli
