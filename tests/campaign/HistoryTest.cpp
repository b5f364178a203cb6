#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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
#include "tests/common/TempFolder.h"

extern char** environ;  // NOLINT: the process environment, handed on to the writer

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
    SQLite::Database db(file.string(), SQLite::OPEN_READONLY);
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

    SQLite::Database db(file.string(), SQLite::OPEN_READONLY);
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
        SQLite::Database db(file.string(), SQLite::OPEN_READWRITE);
        ASSERT_EQ(db.execAndGet("PRAGMA user_version").getInt(), 1);
        // Rollback-journal mode too, so that switching it to write-ahead logging would show.
        db.exec("PRAGMA journal_mode = DELETE");
        db.exec("PRAGMA user_version = 7");
    }
    const std::string before = bytesOf(file);
    EXPECT_EQ(refusal(file), "History " + file.string() +
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
            SQLite::Database db(file.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
            db.exec("CREATE TABLE notes (text TEXT)");
        } else {
            std::ofstream(file, std::ios::binary) << each.bytes;
        }
        const std::string before = bytesOf(file);
        std::string expected = each.refusal;
        expected.replace(expected.find('%'), 1, file.string());
        EXPECT_EQ(refusal(file), expected);
        EXPECT_TRUE(bytesOf(file) == before) << each.name << " changed";
    }
}

TEST(History, DefaultPathFollowsXdgDataHomeThenHome) {
    // The environment as it was, put back however the test ends.
    struct Saved {
        std::optional<std::string> xdg, home;
        Saved() {
            if (const char* v = std::getenv("XDG_DATA_HOME"))
                xdg = v;
            if (const char* v = std::getenv("HOME"))
                home = v;
        }
        ~Saved() {
            put("XDG_DATA_HOME", xdg);
            put("HOME", home);
        }
        static void put(const char* name, const std::optional<std::string>& value) {
            if (value) {
                ::setenv(name, value->c_str(), 1);
            } else {
                ::unsetenv(name);
            }
        }
    } saved;
    const struct {
        std::optional<std::string> xdg, home;
        std::string path;  // empty: refused
    } cases[] = {
        {"/data", "/home/me", "/data/flarecast/history.sqlite"},
        {"relative", "/home/me", "/home/me/.local/share/flarecast/history.sqlite"},
        {std::nullopt, "/home/me", "/home/me/.local/share/flarecast/history.sqlite"},
        {"/data", std::nullopt, "/data/flarecast/history.sqlite"},
        {std::nullopt, std::nullopt, ""},
    };
    for (const auto& each : cases) {
        Saved::put("XDG_DATA_HOME", each.xdg);
        Saved::put("HOME", each.home);
        if (each.path.empty()) {
            EXPECT_THROW(History::defaultPath(), HistoryError);
        } else {
            EXPECT_EQ(History::defaultPath(), each.path);
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

// history_writer run on a history, its standard output through a pipe; killed if still running.
class Writer {
public:
    Writer(const std::filesystem::path& file, long count) {
        std::string program = FLARECAST_HISTORY_WRITER;
        std::string path = file.string();
        std::string number = std::to_string(count);
        char* argv[] = {program.data(), path.data(), number.data(), nullptr};
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            return;
        }
        output = ends[0];
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ) != 0) {
            pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(ends[1]);
    }
    ~Writer() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (output >= 0) {
            ::close(output);
        }
    }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    bool started() const { return pid > 0; }

    // Reads its output until it has printed lines lines, within a bound.
    bool printed(long lines, std::chrono::milliseconds bound = 60s) {
        const auto deadline = std::chrono::steady_clock::now() + bound;
        while (seen < lines) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd ready{output, POLLIN, 0};
            if (left <= 0ms || ::poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
                return false;
            }
            char chunk[4096];
            const ssize_t got = ::read(output, chunk, sizeof chunk);
            if (got <= 0) {
                return false;
            }
            seen += std::count(chunk, chunk + got, '\n');
        }
        return true;
    }

    // Its exit status once ended within the bound; output is read meanwhile so it never blocks.
    std::optional<int> exitStatus(std::chrono::milliseconds bound = 60s) {
        const auto deadline = std::chrono::steady_clock::now() + bound;
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            // Once the output has ended, poll only waits: it ignores a negative descriptor.
            pollfd ready{output, POLLIN, 0};
            if (::poll(&ready, 1, 10) > 0) {
                char chunk[4096];
                if (::read(output, chunk, sizeof chunk) <= 0) {
                    ::close(output);
                    output = -1;
                }
            }
        }
        return std::nullopt;
    }

    void kill() {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        pid = -1;
    }

private:
    pid_t pid = -1;
    int output = -1;
    long seen = 0;
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
    SQLite::Database db(file.string(), SQLite::OPEN_READONLY);
    EXPECT_EQ(db.execAndGet("PRAGMA integrity_check").getString(), "ok");
}

}  // namespace
}  // namespace flarecast::campaign
