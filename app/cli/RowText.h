#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/campaign/History.h"
#include "app/engine/Logfile.h"

namespace flarecast::cli {

// The forms a row takes on the way out, and the history's report.

// A line for a person: "Sent to Ada's phone (00123456789A)", "Not sent to ...: why".
std::string readableLine(const engine::Logfile& row);

// One JSON object: name, address, date, sent, adapter, detail, error, response_code (null when
// the device answered none) and class ("0x5a020c").
std::string jsonLine(const engine::Logfile& row);

// The log's columns as the window saves them: the four that always were, ADAPTER when the log
// has that column, DETAIL last. Without a line end.
std::string csvHeader(bool withAdapter);
std::string csvLine(const engine::Logfile& row, bool withAdapter);

// The totals per day as an aligned table with a total line, and as JSON objects, one a day.
std::vector<std::string> reportTable(const std::vector<campaign::DayTotals>& days);
std::vector<std::string> reportJson(const std::vector<campaign::DayTotals>& days);

// Text from the air (device names) with its control characters shown as '?', so that it cannot
// move the terminal's cursor or change its colours.
std::string printable(std::string_view text);

}  // namespace flarecast::cli
