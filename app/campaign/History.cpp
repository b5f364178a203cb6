#include "app/campaign/History.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <system_error>
#include <thread>

#include "app/campaign/LocalCalendar.h"
#include "bluetooth/io/Environment.h"
#include "bluetooth/io/Utf8Path.h"

namespace flarecast::campaign {

namespace {

constexpr int kBusyTimeoutMs = 10'000;

// Each step turns a file at version i into one at version i + 1; an empty file takes them all.
using Step = void (*)(SQLite::Database&);

void createVersion1(SQLite::Database& db) {
    db.exec(R"(
        CREATE TABLE pushes (
            id INTEGER PRIMARY KEY,
            address TEXT NOT NULL,
            name TEXT NOT NULL,
            class INTEGER NOT NULL,
            adapter TEXT NOT NULL,
            time INTEGER NOT NULL,
            day TEXT NOT NULL,
            file TEXT NOT NULL,
            checksum TEXT NOT NULL,
            response_code INTEGER,
            detail TEXT NOT NULL,
            error TEXT NOT NULL,
            outcome TEXT NOT NULL
        );
        CREATE INDEX pushes_by_address ON pushes (address, time);
        CREATE TABLE devices (
            address TEXT PRIMARY KEY NOT NULL,
            name TEXT NOT NULL,
            class INTEGER NOT NULL,
            first_seen INTEGER NOT NULL,
            last_seen INTEGER NOT NULL,
            times_seen INTEGER NOT NULL
        );
        CREATE TABLE days_seen (
            day TEXT NOT NULL,
            address TEXT NOT NULL,
            offering INTEGER NOT NULL DEFAULT 0,
            PRIMARY KEY (day, address)
        ) WITHOUT ROWID;
    )");
}

constexpr std::array<Step, History::kSchemaVersion> kSteps = {createVersion1};

std::int64_t millisOf(Clock::time_point time) {
    return std::chrono::floor<std::chrono::milliseconds>(time.time_since_epoch()).count();
}

Clock::time_point timeOf(std::int64_t millis) {
    return Clock::time_point(std::chrono::milliseconds(millis));
}

// The local date, computed here rather than in SQL so that every reader and writer agrees.
std::string dayOf(Clock::time_point time, const std::filesystem::path& file) {
    const std::time_t seconds =
        std::chrono::floor<std::chrono::seconds>(time.time_since_epoch()).count();
    std::tm local{};
    if (!localCalendar(seconds, local)) {
        throw HistoryError("Cannot write to the history " + bluetooth::utf8Of(file) +
                           ": a time out of range");
    }
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%04d-%02d-%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday);
    return text.data();
}

std::string oneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

// Runs body, turning SQLite's errors into one line for the operator.
template <typename Body>
auto guarded(const std::filesystem::path& file, const char* doing, Body&& body) {
    try {
        return body();
    } catch (const SQLite::Exception& error) {
        if (error.getErrorCode() == SQLITE_BUSY) {
            throw HistoryError("The history " + bluetooth::utf8Of(file) + " stayed busy for " +
                               std::to_string(kBusyTimeoutMs / 1000) +
                               " s: another program holds it (" + oneLine(error.what()) + ")");
        }
        throw HistoryError("Cannot " + std::string(doing) + " the history " +
                           bluetooth::utf8Of(file) + ": " + oneLine(error.what()));
    }
}

// What the file holds, read in one statement so that both come from one state of the file: a
// program that creates it meanwhile is seen either not at all or whole.
struct Contents {
    int version = 0;
    int tables = 0;
};

Contents contentsOf(SQLite::Database& db) {
    SQLite::Statement query(
        db, "SELECT user_version, (SELECT count(*) FROM sqlite_master) FROM pragma_user_version");
    query.executeStep();
    return {query.getColumn(0).getInt(), query.getColumn(1).getInt()};
}

// Version 0 means an empty file, unless another program keeps its own tables in it.
void refuseUnknown(const Contents& contents, const std::filesystem::path& file) {
    if (contents.version > History::kSchemaVersion) {
        throw HistoryError("History " + bluetooth::utf8Of(file) +
                           " was written by a newer Flarecast (schema " +
                           std::to_string(contents.version) + "); this one reads schema " +
                           std::to_string(History::kSchemaVersion));
    }
    if (contents.version == 0 && contents.tables != 0) {
        throw HistoryError("History " + bluetooth::utf8Of(file) +
                           " is an SQLite file of another program, not a Flarecast history");
    }
}

// Write-ahead logging lets readers and one writer share the file across programs. A file system
// that cannot hold its shared index (some network ones) keeps the rollback journal.
bool useWriteAheadLog(SQLite::Database& db) {
    // The switch does not always wait on the busy handler: while another program creates the
    // file or switches it too, it can fail at once, so it is tried again until the same limit.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    std::string mode;
    for (;;) {
        try {
            mode = db.execAndGet("PRAGMA journal_mode=WAL").getString();
            break;
        } catch (const SQLite::Exception& error) {
            if (error.getErrorCode() != SQLITE_BUSY) {
                db.exec("PRAGMA journal_mode=DELETE");
                return false;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                throw;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::transform(mode.begin(), mode.end(), mode.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return mode == "wal";
}

}  // namespace

std::filesystem::path History::defaultPath() {
    using bluetooth::environmentVariable;
    using bluetooth::pathFromUtf8;
    if (const auto data = environmentVariable("XDG_DATA_HOME");
        data && pathFromUtf8(*data).is_absolute()) {
        return pathFromUtf8(*data) / "flarecast" / "history.sqlite";
    }
#if defined(_WIN32)
    // The user's own data on this machine, which does not roam.
    if (const auto local = environmentVariable("LOCALAPPDATA"); local && !local->empty()) {
        return pathFromUtf8(*local) / "flarecast" / "history.sqlite";
    }
#endif
    const auto home = environmentVariable("HOME");
    if (!home || home->empty()) {
        throw HistoryError("No folder for the history: neither XDG_DATA_HOME nor HOME is set");
    }
    return pathFromUtf8(*home) / ".local" / "share" / "flarecast" / "history.sqlite";
}

History::History(const std::filesystem::path& path) : file(path) {
    if (file.has_parent_path()) {
        std::error_code failure;
        std::filesystem::create_directories(file.parent_path(), failure);
        if (failure) {
            throw HistoryError("Cannot create the folder of the history " +
                               bluetooth::utf8Of(file) + ": " + failure.message());
        }
    }
    guarded(file, "open", [this] {
        db = std::make_unique<SQLite::Database>(bluetooth::utf8Of(file),
                                                SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        db->setBusyTimeout(kBusyTimeoutMs);
        // Only reads until the file is known to be a history of ours: a file that is not SQLite
        // fails here, and neither it nor a newer or foreign one is changed.
        const Contents found = contentsOf(*db);
        refuseUnknown(found, file);
        if (useWriteAheadLog(*db)) {
            // In WAL mode a committed transaction survives the program's crash; only a power
            // loss may take back the last ones, and never corrupts the file. The rollback journal
            // keeps its default, which it needs for that.
            db->exec("PRAGMA synchronous=NORMAL");
        }
        if (found.version == kSchemaVersion) {
            return;
        }
        // Immediate: two programs creating the file at once take turns, the second finds it done.
        SQLite::Transaction transaction(*db, SQLite::TransactionBehavior::IMMEDIATE);
        const Contents current = contentsOf(*db);
        refuseUnknown(current, file);
        for (int version = current.version; version < kSchemaVersion; ++version) {
            kSteps[static_cast<std::size_t>(version)](*db);
        }
        db->exec("PRAGMA user_version = " + std::to_string(kSchemaVersion));
        transaction.commit();
    });
}

History::~History() = default;

void History::recordSeen(const engine::SeenDevice& device, Clock::time_point when) {
    const std::lock_guard guard(lock);
    const std::string day = dayOf(when, file);
    guarded(file, "write to", [&] {
        SQLite::Transaction transaction(*db, SQLite::TransactionBehavior::IMMEDIATE);
        SQLite::Statement upsert(*db, R"(
            INSERT INTO devices (address, name, class, first_seen, last_seen, times_seen)
            VALUES (?1, ?2, ?3, ?4, ?4, 1)
            ON CONFLICT (address) DO UPDATE SET
                name = CASE WHEN excluded.name <> '' THEN excluded.name ELSE name END,
                class = CASE WHEN excluded.class <> 0 THEN excluded.class ELSE class END,
                first_seen = min(first_seen, excluded.first_seen),
                last_seen = max(last_seen, excluded.last_seen),
                times_seen = times_seen + 1)");
        upsert.bind(1, device.address);
        upsert.bind(2, device.name);
        upsert.bind(3, device.deviceClass);
        upsert.bind(4, millisOf(when));
        upsert.exec();
        SQLite::Statement daily(*db,
                                "INSERT OR IGNORE INTO days_seen (day, address) VALUES (?, ?)");
        daily.bind(1, day);
        daily.bind(2, device.address);
        daily.exec();
        transaction.commit();
    });
}

void History::recordOffering(const std::string& address, Clock::time_point when) {
    const std::lock_guard guard(lock);
    const std::string day = dayOf(when, file);
    guarded(file, "write to", [&] {
        SQLite::Statement offering(*db, R"(
            INSERT INTO days_seen (day, address, offering) VALUES (?, ?, 1)
            ON CONFLICT (day, address) DO UPDATE SET offering = 1)");
        offering.bind(1, day);
        offering.bind(2, address);
        offering.exec();
    });
}

void History::recordPush(const PushRecord& push) {
    const std::lock_guard guard(lock);
    const std::string day = dayOf(push.time, file);
    guarded(file, "write to", [&] {
        SQLite::Statement insert(*db, R"(
            INSERT INTO pushes (address, name, class, adapter, time, day, file, checksum,
                                response_code, detail, error, outcome)
            VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?))");
        insert.bind(1, push.address);
        insert.bind(2, push.name);
        insert.bind(3, push.deviceClass);
        insert.bind(4, push.adapter);
        insert.bind(5, millisOf(push.time));
        insert.bind(6, day);
        insert.bind(7, push.file);
        insert.bind(8, push.checksum);
        if (push.responseCode) {
            insert.bind(9, *push.responseCode);
        } else {
            insert.bind(9);
        }
        insert.bind(10, push.detail);
        insert.bind(11, push.error);
        insert.bind(12, nameOf(push.outcome));
        insert.exec();
    });
}

DeviceRecord History::device(const std::string& address) {
    const std::lock_guard guard(lock);
    return guarded(file, "read", [&] {
        DeviceRecord record;
        SQLite::Statement latest(
            *db, "SELECT outcome, max(time) FROM pushes WHERE address = ? GROUP BY outcome");
        latest.bind(1, address);
        while (latest.executeStep()) {
            const Clock::time_point time = timeOf(latest.getColumn(1).getInt64());
            switch (outcomeNamed(latest.getColumn(0).getString())) {
                case Outcome::Sent:
                    record.lastSent = time;
                    break;
                case Outcome::Declined:
                    record.lastDeclined = time;
                    break;
                case Outcome::RadioFailure:
                    record.lastRadioFailure = time;
                    break;
                case Outcome::Cancelled:
                case Outcome::Failed:
                    break;
            }
        }
        // Newest first until an attempt that reached further than the radio; the program's own
        // cancelling says nothing about the device.
        SQLite::Statement recent(
            *db, "SELECT outcome FROM pushes WHERE address = ? ORDER BY time DESC, id DESC");
        recent.bind(1, address);
        while (recent.executeStep()) {
            const Outcome outcome = outcomeNamed(recent.getColumn(0).getString());
            if (outcome == Outcome::Cancelled) {
                continue;
            }
            if (outcome != Outcome::RadioFailure) {
                break;
            }
            ++record.radioFailuresInARow;
        }
        return record;
    });
}

std::optional<SeenRecord> History::seen(const std::string& address) {
    const std::lock_guard guard(lock);
    return guarded(file, "read", [&]() -> std::optional<SeenRecord> {
        SQLite::Statement query(*db, R"(
            SELECT name, class, first_seen, last_seen, times_seen FROM devices
            WHERE address = ?)");
        query.bind(1, address);
        if (!query.executeStep()) {
            return std::nullopt;
        }
        SeenRecord record;
        record.address = address;
        record.name = query.getColumn(0).getString();
        record.deviceClass = query.getColumn(1).getInt();
        record.firstSeen = timeOf(query.getColumn(2).getInt64());
        record.lastSeen = timeOf(query.getColumn(3).getInt64());
        record.timesSeen = query.getColumn(4).getInt64();
        return record;
    });
}

std::vector<DayTotals> History::totalsPerDay() {
    const std::lock_guard guard(lock);
    return guarded(file, "read", [&] {
        SQLite::Statement query(*db, R"(
            WITH found AS (
                SELECT day, count(*) AS found, sum(offering) AS offering
                FROM days_seen GROUP BY day),
            pushed AS (
                SELECT day, sum(outcome = ?1) AS sent, sum(outcome = ?2) AS declined,
                       sum(outcome NOT IN (?1, ?2)) AS failed
                FROM pushes GROUP BY day),
            days AS (SELECT day FROM found UNION SELECT day FROM pushed)
            SELECT days.day, coalesce(found.found, 0), coalesce(found.offering, 0),
                   coalesce(pushed.sent, 0), coalesce(pushed.declined, 0),
                   coalesce(pushed.failed, 0)
            FROM days LEFT JOIN found USING (day) LEFT JOIN pushed USING (day)
            ORDER BY days.day)");
        query.bind(1, nameOf(Outcome::Sent));
        query.bind(2, nameOf(Outcome::Declined));
        std::vector<DayTotals> totals;
        while (query.executeStep()) {
            DayTotals day;
            day.day = query.getColumn(0).getString();
            day.found = query.getColumn(1).getInt64();
            day.offering = query.getColumn(2).getInt64();
            day.sent = query.getColumn(3).getInt64();
            day.declined = query.getColumn(4).getInt64();
            day.failed = query.getColumn(5).getInt64();
            totals.push_back(std::move(day));
        }
        return totals;
    });
}

std::vector<PushRecord> History::pushes() {
    const std::lock_guard guard(lock);
    return guarded(file, "read", [&] {
        SQLite::Statement query(*db, R"(
            SELECT address, name, class, adapter, time, file, checksum, response_code, detail,
                   error, outcome
            FROM pushes ORDER BY time, id)");
        std::vector<PushRecord> records;
        while (query.executeStep()) {
            PushRecord record;
            record.address = query.getColumn(0).getString();
            record.name = query.getColumn(1).getString();
            record.deviceClass = query.getColumn(2).getInt();
            record.adapter = query.getColumn(3).getString();
            record.time = timeOf(query.getColumn(4).getInt64());
            record.file = query.getColumn(5).getString();
            record.checksum = query.getColumn(6).getString();
            if (!query.isColumnNull(7)) {
                record.responseCode = query.getColumn(7).getInt();
            }
            record.detail = query.getColumn(8).getString();
            record.error = query.getColumn(9).getString();
            record.outcome = outcomeNamed(query.getColumn(10).getString());
            records.push_back(std::move(record));
        }
        return records;
    });
}

}  // namespace flarecast::campaign
