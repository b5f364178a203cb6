#pragma once

#include <QString>
#include <optional>

#include "app/engine/Logfile.h"

namespace flarecast::ui {

class DeviceTableModel;

inline constexpr const char* kLogCsvHeader = "BLUETOOTH NAME,BLUETOOTH ADDRESS,DATE/TIME,SENT";

// One CSV line for a row, without its line end.
QString csvLine(const engine::Logfile& row);

// Writes the header and every row of the table to path, replacing the file only once everything
// is written. Returns the error's text when the file could not be written; the earlier file, if
// any, is then left as it was.
std::optional<QString> saveLog(const QString& path, const DeviceTableModel& table);

}  // namespace flarecast::ui
