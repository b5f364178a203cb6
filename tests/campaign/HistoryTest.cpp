#include <gtest/gtest.h>

#include <SQLiteCpp/Database.h>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "app/campaign/History.h"
#include "bluetooth/io/Environment.h"
#include "bluetooth/io/Utf8Path.h"
#include "tests/common/ChildProcess.h"
#include "tests/common/TempFolder.h"

namespace flarecast::campaign {
namespace {

using namespace std::chrono_literals;

// A local time, so that the days the history computes are known whatever the time zone.
Clock::time_point local(int year, int month, int day, int hour, int minute = 0) {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_isdst = -1;
    return Clock::from_time_t(std::mktime(&fields));
}

PushRecord attempt(const std::string& address, Outcome outcome, Clock::time_point time) {
    PushRecord push;
    push.address = address;
    push.time = time;
    push.outcome = outcome;
    return push;
}

auto fields(const PushRecord& p) {
    return std::tie(p.address, p.name, p.deviceClass, p.adapter, p.time, p.file, p.checksum,
                    p.responseCode, p.detail, p.error, p.outcome);
}

auto fields(const SeenRecord& s) {
    return std::tie(s.address, s.name, s.deviceClass, s.firstSeen, s.lastSeen, s.timesSeen);
}

using Totals =
    std::tuple<std::string, std::int64_t, std::int64_t, std::int64_t, std::int64_t, std::int64_t>;

std::vector<Totals> totalsOf(History& history) {
    std::vector<Totals> totals;
    for (const DayTotals& d : history.totalsPerDay()) {
        totals.emplace_back(d.day, d.found, d.offering, d.sent, d.declined, d.failed);
    }
    return totals;
}

std::string bytesOf(const std::filesystem::path& file) {
    std::ifstream input(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>()};
}

std::string refusal(const std::filesystem::path& file) {
    try {
        History history(file);
    } catch (const HistoryError& error) {
        return error.what();
    }
    return "opened";
}

std::int64_t pushCount(const std::filesystem::path& file) {
    SQLite::Database db(bluetooth::utf8Of(file), SQLite::OPEN_READONLY);
    return db.execAndGet("SELECT count(*) FROM pushes").getInt64();
}

TEST(History, KeepsEveryRecordExactlyAcrossReopening) {
    const testing::TempFolder folder;
    // A folder that does not exist yet.
    const auto file = folder.path / "a" / "b" / "history.sqlite";
    const auto base = Clock::time_point(1'700'000'000'123ms);

    PushRecord answered;
    answered.address = "00:11:22:33:44:55";
    answered.name = "Phone \"one\", ünïcode";
    answered.deviceClass = 0x5a020c;
    answered.adapter = "hci1";
    answered.time = base + 2s;
    answered.file = "/srv/pictures/flyer.jpg";
    answered.checksum = std::string(64, 'f');
    answered.responseCode = 0xC3;
    answered.detail = "refused (C3)";
    answered.error = "The device refused the object";
    answered.outcome = Outcome::Declined;
    PushRecord silent = answered;
    silent.address = "66:77:88:99:AA:BB";
    silent.name = "";
    silent.deviceClass = 0;
    silent.adapter = "";
    // Recorded second, yet older: the list is by time.
    silent.time = base - 1ms;
    silent.responseCode.reset();
    silent.detail = "no answer in time";
    silent.error = "";
    silent.outcome = Outcome::RadioFailure;

    const SeenRecord expectedSeen{"00:11:22:33:44:55", "Phone two", 0x5a020c, base, base + 5s, 3};
    {
        History history(file);
        EXPECT_EQ(history.path(), file);
        history.recordPush(answered);
        history.recordPush(silent);
        history.recordSeen({"00:11:22:33:44:55", "Phone one", 0x5a020c, "hci1"}, base);
        // A name or class the inquiry did not get leaves the known one.
        history.recordSeen({"00:11:22:33:44:55", "", 0, ""}, base + 5s);
        history.recordSeen({"00:11:22:33:44:55", "Phone two", 0, ""}, base + 1s);
        EXPECT_FALSE(history.seen("66:77:88:99:AA:BB"));
    }
    History history(file);
    const auto pushes = history.pushes();
    ASSERT_EQ(pushes.size(), 2U);
    EXPECT_EQ(fields(pushes[0]), fields(silent));
    EXPECT_EQ(fields(pushes[1]), fields(answered));
    const auto seen = history.seen("00:11:22:33:44:55");
    ASSERT_TRUE(seen);
    EXPECT_EQ(fields(*seen), fields(expectedSeen));

    SQLite::Database db(bluetooth::utf8Of(file), SQLite::OPEN_READONLY);
    EXPECT_EQ(db.execAndGet("PRAGMA user_version").getInt(), History::kSchemaVersion);
    EXPECT_EQ(db.execAndGet("PRAGMA journal_mode").getString(), "wal");
}

TEST(History, CountsRadioFailuresSinceTheLastAttemptThatWasNotOne) {
    using enum Outcome;
    const struct {
        std::vector<Outcome> attempts;  // oldest first
        int inARow;
        bool sameTime = false;
    } cases[] = {
        {{}, 0},
        {{RadioFailure}, 1},
        {{RadioFailure, RadioFailure, RadioFailure}, 3},
        {{RadioFailure, Sent, RadioFailure}, 1},
        {{Sent, RadioFailure, RadioFailure}, 2},
        {{RadioFailure, RadioFailure, Declined}, 0},
        {{RadioFailure, Failed, RadioFailure}, 1},
        // The program's own cancelling neither counts nor ends the run.
        {{RadioFailure, Cancelled, RadioFailure, Cancelled}, 2},
        {{Sent, Cancelled}, 0},
        // At one time, the attempt recorded last is the latest.
        {{RadioFailure, Sent}, 0, true},
        {{Sent, RadioFailure, RadioFailure}, 2, true},
    };
    const testing::TempFolder folder;
    History history(folder.path / "history.sqlite");
    const auto start = Clock::time_point(1'700'000'000'000ms);
    int row = 0;
    for (const auto& each : cases) {
        const std::string address = "device " + std::to_string(++row);
        auto time = start;
        for (const Outcome outcome : each.attempts) {
            history.recordPush(attempt(address, outcome, time));
            time += each.sameTime ? 0ms : 1s;
        }
        EXPECT_EQ(history.device(address).radioFailuresInARow, each.inARow) << address;
    }

    // The latest of each outcome, whatever order the attempts were recorded in.
    const std::string address = "latest";
    history.recordPush(attempt(address, Sent, start + 1s));
    history.recordPush(attempt(address, RadioFailure, start + 2s));
    history.recordPush(attempt(address, Declined, start + 3s));
    history.recordPush(attempt(address, Sent, start + 4s));
    history.recordPush(attempt(address, Cancelled, start + 5s));
    history.recordPush(attempt(address, RadioFailure, start));
    const DeviceRecord latest = history.device(address);
    EXPECT_EQ(latest.lastSent, start + 4s);
    EXPECT_EQ(latest.lastDeclined, start + 3s);
    EXPECT_EQ(latest.lastRadioFailure, start + 2s);
    EXPECT_EQ(latest.radioFailuresInARow, 0);
    const DeviceRecord unknown = history.device("never pushed");
    EXPECT_FALSE(unknown.lastSent || unknown.lastDeclined || unknown.lastRadioFailure);
}

TEST(History, TotalsCountDistinctDevicesAndAttemptsPerLocalDay) {
    const testing::TempFolder folder;
    History history(folder.path / "history.sqlite");
    using enum Outcome;
    // Day one: a and b found, a twice; a offering twice, c offering without an inquiry's word.
    history.recordSeen({"a", "", 0, ""}, local(2024, 3, 9, 0, 0));
    history.recordSeen({"a", "", 0, ""}, local(2024, 3, 9, 12));
    history.recordSeen({"b", "", 0, ""}, local(2024, 3, 9, 13));
    history.recordOffering("a", local(2024, 3, 9, 12));
    history.recordOffering("a", local(2024, 3, 9, 14));
    history.recordOffering("c", local(2024, 3, 9, 15));
    for (const auto& [address, outcome] :
         std::vector<std::pair<std::string, Outcome>>{{"a", Sent},
                                                      {"a", Sent},
                                                      {"b", Declined},
                                                      {"c", RadioFailure},
                                                      {"c", Cancelled},
                                                      {"c", Failed}}) {
        history.recordPush(attempt(address, outcome, local(2024, 3, 9, 16)));
    }
    // Day two, its last minute: a found twice, nothing pushed.
    history.recordSeen({"a", "", 0, ""}, local(2024, 3, 10, 9));
    history.recordSeen({"a", "", 0, ""}, local(2024, 3, 10, 23, 59));
    // A day with an attempt and no inquiry, recorded before the others.
    history.recordPush(attempt("a", Sent, local(2024, 3, 8, 12)));

    const std::vector<Totals> expected = {
        {"2024-03-08", 0, 0, 1, 0, 0},
        {"2024-03-09", 3, 2, 2, 1, 3},
        {"2024-03-10", 1, 0, 0, 0, 0},
    };
    EXPECT_EQ(totalsOf(history), expected);
    EXPECT_EQ(history.seen("a")->timesSeen, 4);
}

TEST(History, SetsItsSchemaVersionAndRefusesANewerOneUntouched) {
    const testing::TempFolder folder;
    const auto file = folder.path / "history.sqlite";
    { History history(file); }
    {
        SQLite::Database db(bluetooth::utf8Of(file), SQLite::OPEN_READWRITE);
        ASSERT_EQ(db.execAndGet("PRAGMA user_version").getInt(), 1);
        // Rollback-journal mode too, so that switching it to write-ahead logging would show.
        db.exec("PRAGMA journal_mode = DELETE");
        db.exec("PRAGMA user_version = 7");
    }
    const std::string before = bytesOf(file);
    EXPECT_EQ(refusal(file), "History " + bluetooth::utf8Of(file) +
                                 " was written by a newer Flarecast (schema 7); this one reads "
                                 "schema 1");
    EXPECT_TRUE(bytesOf(file) == before) << "changed";
}

TEST(History, RefusesAFileThatIsNotAHistoryUntouched) {
    const testing::TempFolder folder;
    const struct {
        const char* name;
        std::string bytes;
        std::string refusal;
    } cases[] = {
        {"text", "These are my notes, not a history.\n",
         "Cannot open the history %: file is not a database"},
        {"binary", std::string(8192, '\xab'), "Cannot open the history %: file is not a database"},
        {"foreign", "", "History % is an SQLite file of another program, not a Flarecast history"},
    };
    for (const auto& each : cases) {
        const auto file = folder.path / each.name;
        if (each.bytes.empty()) {
            SQLite::Database db(bluetooth::utf8Of(file),
                                SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
            db.exec("CREATE TABLE notes (text TEXT)");
        } else {
            std::ofstream(file, std::ios::binary) << each.bytes;
        }
        const std::string before = bytesOf(file);
        std::string expected = each.refusal;
        expected.replace(expected.find('%'), 1, bluetooth::utf8Of(file));
        EXPECT_EQ(refusal(file), expected);
        EXPECT_TRUE(bytesOf(file) == before) << each.name << " changed";
    }
}

TEST(History, DefaultPathFollowsXdgDataHomeThenHome) {
    static constexpr const char* kNames[] = {"XDG_DATA_HOME", "LOCALAPPDATA", "HOME"};
    // The environment as it was, put back however the test ends.
    struct Saved {
        std::optional<std::string> values[std::size(kNames)];
        Saved() {
            for (std::size_t i = 0; i < std::size(kNames); ++i) {
                values[i] = bluetooth::environmentVariable(kNames[i]);
            }
        }
        ~Saved() {
            for (std::size_t i = 0; i < std::size(kNames); ++i) {
                put(kNames[i], values[i]);
            }
        }
        static void put(const char* name, const std::optional<std::string>& value) {
            if (value) {
                bluetooth::setEnvironmentVariable(name, *value);
            } else {
#if defined(_WIN32)
                // An empty value takes the variable out of the environment.
                bluetooth::setEnvironmentVariable(name, "");
#else
                ::unsetenv(name);
#endif
            }
        }
    } saved;
    const struct {
        std::optional<std::string> xdg, local, home;
        std::string path;  // empty: refused
    } cases[] = {
#if defined(_WIN32)
        // The user's data that does not roam comes before HOME, which Windows need not set.
        {"C:\\data", "C:\\me\\Local", "C:\\me", "C:\\data\\flarecast\\history.sqlite"},
        {"relative", "C:\\me\\Local", "C:\\me", "C:\\me\\Local\\flarecast\\history.sqlite"},
        {std::nullopt, "C:\\Jürgen\\Local", std::nullopt,
         "C:\\Jürgen\\Local\\flarecast\\history.sqlite"},
        {std::nullopt, std::nullopt, "C:\\me", "C:\\me\\.local\\share\\flarecast\\history.sqlite"},
        {"C:\\data", std::nullopt, std::nullopt, "C:\\data\\flarecast\\history.sqlite"},
        {std::nullopt, std::nullopt, std::nullopt, ""},
#else
        {"/data", std::nullopt, "/home/me", "/data/flarecast/history.sqlite"},
        {"relative", std::nullopt, "/home/me", "/home/me/.local/share/flarecast/history.sqlite"},
        {std::nullopt, std::nullopt, "/home/me", "/home/me/.local/share/flarecast/history.sqlite"},
        {"/data", std::nullopt, std::nullopt, "/data/flarecast/history.sqlite"},
        {std::nullopt, std::nullopt, std::nullopt, ""},
#endif
    };
    for (const auto& each : cases) {
        Saved::put(kNames[0], each.xdg);
        Saved::put(kNames[1], each.local);
        Saved::put(kNames[2], each.home);
        if (each.path.empty()) {
            EXPECT_THROW(History::defaultPath(), HistoryError);
        } else {
            EXPECT_EQ(History::defaultPath(), bluetooth::pathFromUtf8(each.path));
        }
    }
}

TEST(History, TwoConnectionsWrittenFromManyThreadsLoseNothing) {
    const testing::TempFolder folder;
    const auto file = folder.path / "history.sqlite";
    constexpr int kThreads = 4;
    constexpr int kEach = 200;
    History first(file);
    History second(file);
    std::atomic<int> failures{0};
    {
        std::vector<std::jthread> writers;
        for (int t = 0; t < kThreads; ++t) {
            writers.emplace_back([&, t] {
                History& history = t % 2 == 0 ? first : second;
                for (int i = 0; i < kEach; ++i) {
                    try {
                        PushRecord push =
                            attempt("thread " + std::to_string(t), Outcome::Sent, Clock::now());
                        push.checksum = std::to_string(i);
                        history.recordPush(push);
                        history.recordSeen({"everyone", "", 0, ""}, push.time);
                    } catch (const std::exception& error) {
                        ++failures;
                        ADD_FAILURE() << error.what();
                    }
                }
            });
        }
    }
    EXPECT_EQ(failures.load(), 0);
    std::set<std::pair<std::string, std::string>> distinct;
    for (const PushRecord& push : second.pushes()) {
        distinct.emplace(push.address, push.checksum);
    }
    EXPECT_EQ(distinct.size(), std::size_t{kThreads * kEach});
    EXPECT_EQ(first.seen("everyone")->timesSeen, kThreads * kEach);
}

// history_writer run on a history, its standard output read as it comes; killed if still running.
class Writer : public testing::ChildProcess {
public:
    Writer(const std::filesystem::path& file, long count)
        : ChildProcess({FLARECAST_HISTORY_WRITER, bluetooth::utf8Of(file), std::to_string(count)}) {
    }

    // Whether it has printed lines lines, within a bound.
    bool printed(long lines) {
        return readUntil([&](const std::string& out, const std::string&) {
            return std::count(out.begin(), out.end(), '\n') >= lines;
        });
    }
};

TEST(History, TwoProgramsCreatingAndWritingOneFileAtOnceLoseNothing) {
    const testing::TempFolder folder;
    const auto file = folder.path / "history.sqlite";
    constexpr long kEach = 200;
    Writer one(file, kEach);
    Writer two(file, kEach);
    ASSERT_TRUE(one.started() && two.started());
    EXPECT_EQ(one.exitStatus(), 0);
    EXPECT_EQ(two.exitStatus(), 0);
    EXPECT_EQ(pushCount(file), 2 * kEach);
}

TEST(History, AProgramKilledWhileWritingLeavesAnIntactHistory) {
    const testing::TempFolder folder;
    const auto file = folder.path / "history.sqlite";
    constexpr long kPrinted = 50;
    Writer writer(file, 1'000'000);
    ASSERT_TRUE(writer.started());
    ASSERT_TRUE(writer.printed(kPrinted));
    writer.kill();

    History history(file);
    EXPECT_GE(history.pushes().size(), std::size_t{kPrinted});
    SQLite::Database db(bluetooth::utf8Of(file), SQLite::OPEN_READONLY);
    EXPECT_EQ(db.execAndGet("PRAGMA integrity_check").getString(), "ok");
}

}  // namespace
}  // namespace flarecast::campaign
