#pragma once

#include <QString>
#include <optional>
#include <vector>

#include "app/engine/Logfile.h"

namespace flarecast::ui {

class DeviceTableModel;

inline constexpr const char* kLogCsvHeader = "BLUETOOTH NAME,BLUETOOTH ADDRESS,DATE/TIME,SENT";

// Appended to the header, and a field to every line, when the program ran on several adapters.
inline constexpr const char* kLogCsvAdapterColumn = ",ADAPTER";

// Always the last column: why each push ended.
inline constexpr const char* kLogCsvDetailColumn = ",DETAIL";

// One CSV line for a row, without its line end: the four fields that always were, the adapter
// that served it when withAdapter, and its detail last.
QString csvLine(const engine::Logfile& row, bool withAdapter = false);

// The header line for rows of which some were served on one of several adapters.
QString csvHeader(bool withAdapter);

// True when some row was served on one of several adapters, so the log needs that column.
bool anyRowHasAdapter(const std::vector<engine::Logfile>& rows);

// The name a log is saved under: the operator's, with ".csv" added unless it ends so already.
QString withCsvSuffix(const QString& path);

// A name for today's log, "flarecast-log-2026-12-11.csv".
QString proposedLogName();

// Writes the header and every row of the table to path, replacing the file only once everything
// is written. Returns the error's text when the file could not be written; the earlier file, if
// any, is then left as it was.
std::optional<QString> saveLog(const QString& path, const DeviceTableModel& table);

}  // namespace flarecast::ui
