#pragma once

#include <QString>
#include <optional>

#include "app/engine/Logfile.h"

namespace flarecast::ui {

class DeviceTableModel;

inline constexpr const char* kLogCsvHeader = "BLUETOOTH NAME,BLUETOOTH ADDRESS,DATE/TIME,SENT";

// Appended to the header, and a field to every line, when the program ran on several adapters.
inline constexpr const char* kLogCsvAdapterColumn = ",ADAPTER";

// One CSV line for a row, without its line end; withAdapter adds the adapter that served it.
QString csvLine(const engine::Logfile& row, bool withAdapter = false);

// Writes the header and every row of the table to path, replacing the file only once everything
// is written. Returns the error's text when the file could not be written; the earlier file, if
// any, is then left as it was.
std::optional<QString> saveLog(const QString& path, const DeviceTableModel& table);

}  // namespace flarecast::ui
