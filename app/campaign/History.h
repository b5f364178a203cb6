#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/campaign/Outcome.h"
#include "app/engine/DeviceGate.h"

namespace SQLite {
class Database;
}

namespace flarecast::campaign {

using Clock = std::chrono::system_clock;

// The history cannot be opened or written; what() is one line for the operator, with the path.
class HistoryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One push attempt.
struct PushRecord {
    std::string address;
    std::string name;
    std::int32_t deviceClass = 0;
    std::string adapter;
    Clock::time_point time;
    std::string file;
    // SHA-256 of the file's bytes, in lower-case hex.
    std::string checksum;
    std::optional<int> responseCode;
    std::string detail;
    std::string error;
    Outcome outcome = Outcome::Failed;
};

// What the history knows of one device, for the campaign's rules.
struct DeviceRecord {
    std::optional<Clock::time_point> lastSent;
    std::optional<Clock::time_point> lastDeclined;
    std::optional<Clock::time_point> lastRadioFailure;
    // Radio failures since the device's last attempt that was not one (sent, declined, ...);
    // cancelled attempts neither count nor end the run.
    int radioFailuresInARow = 0;
};

// One device as seen over the campaigns.
struct SeenRecord {
    std::string address;
    std::string name;
    std::int32_t deviceClass = 0;
    Clock::time_point firstSeen;
    Clock::time_point lastSeen;
    std::int64_t timesSeen = 0;
};

// One local day's totals: distinct devices found and offering Object Push, push attempts by
// outcome (failed counts every attempt neither sent nor declined, cancelled ones included).
struct DayTotals {
    std::string day;  // YYYY-MM-DD, local time
    std::int64_t found = 0;
    std::int64_t offering = 0;
    std::int64_t sent = 0;
    std::int64_t declined = 0;
    std::int64_t failed = 0;
};

// The campaign's memory of every device and push, in an SQLite file in write-ahead-log mode:
// each record is its own transaction, so a crash loses at most what was not yet recorded, and
// several programs may share one file. Safe to use from several threads. Times are kept to the
// millisecond.
class History {
public:
    static constexpr int kSchemaVersion = 1;

    // $XDG_DATA_HOME/flarecast/history.sqlite, or ~/.local/share/flarecast/history.sqlite.
    static std::filesystem::path defaultPath();

    // Opens or creates the file (and its folder), migrating an older schema forward; throws
    // HistoryError for a file that is not a history, a newer schema, or no access.
    explicit History(const std::filesystem::path& path);
    ~History();
    History(const History&) = delete;
    History& operator=(const History&) = delete;

    const std::filesystem::path& path() const noexcept { return file; }

    // A device found by an inquiry: counted once per call in timesSeen, and once per day in the
    // day's found.
    void recordSeen(const engine::SeenDevice& device, Clock::time_point when);
    // A device whose search found Object Push; once per day in the day's offering.
    void recordOffering(const std::string& address, Clock::time_point when);
    void recordPush(const PushRecord& push);

    DeviceRecord device(const std::string& address);
    std::optional<SeenRecord> seen(const std::string& address);
    // Oldest day first.
    std::vector<DayTotals> totalsPerDay();
    // Every attempt, oldest first.
    std::vector<PushRecord> pushes();

private:
    const std::filesystem::path file;
    std::mutex lock;
    std::unique_ptr<SQLite::Database> db;
};

}  // namespace flarecast::campaign
