#include "app/cli/RowText.h"

#include <array>
#include <cstdio>
#include <nlohmann/json.hpp>

namespace flarecast::cli {

namespace {

// Device names are chosen by whoever owns the device; a spreadsheet must not run them as a
// formula.
std::string defuseFormula(std::string field) {
    if (!field.empty() && std::string_view("=+-@\t").find(field.front()) != std::string::npos) {
        field.insert(field.begin(), '\'');
    }
    return field;
}

// Quoted only when needed, so plain fields stay exactly as they always were.
std::string quoteIfNeeded(const std::string& field) {
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
        return field;
    }
    std::string quoted = "\"";
    for (const char c : field) {
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return quoted + "\"";
}

std::string classText(std::int32_t deviceClass) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "0x%06x", static_cast<unsigned>(deviceClass));
    return text.data();
}

// Names from the air need not be UTF-8; JSON must be.
std::string dumped(const nlohmann::ordered_json& value) {
    return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace

std::string printable(std::string_view text) {
    std::string shown(text);
    for (char& c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            c = '?';
        }
    }
    return shown;
}

std::string readableLine(const engine::Logfile& row) {
    std::string line = std::string(row.sent ? "Sent to " : "Not sent to ") +
                       printable(row.bluetoothname) + " (" + row.bluetoothaddress + ")";
    if (!row.adapter.empty()) {
        line += " through " + printable(row.adapter);
    }
    if (!row.sent && !row.detail.empty()) {
        line += ": " + printable(row.detail);
    }
    return line;
}

std::string jsonLine(const engine::Logfile& row) {
    return dumped({
        {"name", row.bluetoothname},
        {"address", row.bluetoothaddress},
        {"date", row.datesent},
        {"sent", row.sent},
        {"adapter", row.adapter},
        {"detail", row.detail},
        {"error", row.error},
        {"response_code", row.responseCode ? nlohmann::ordered_json(*row.responseCode)
                                           : nlohmann::ordered_json(nullptr)},
        {"class", classText(row.deviceClass)},
    });
}

std::string csvHeader(bool withAdapter) {
    return std::string("BLUETOOTH NAME,BLUETOOTH ADDRESS,DATE/TIME,SENT") +
           (withAdapter ? ",ADAPTER" : "") + ",DETAIL";
}

std::string csvLine(const engine::Logfile& row, bool withAdapter) {
    std::string line = quoteIfNeeded(defuseFormula(row.bluetoothname)) + "," +
                       quoteIfNeeded(defuseFormula(row.bluetoothaddress)) + "," +
                       quoteIfNeeded(row.datesent) + "," + (row.sent ? "true" : "false");
    if (withAdapter) {
        line += "," + quoteIfNeeded(defuseFormula(row.adapter));
    }
    return line + "," + quoteIfNeeded(defuseFormula(row.detail));
}

std::vector<std::string> reportTable(const std::vector<campaign::DayTotals>& days) {
    using Row = std::array<std::string, 6>;
    std::vector<Row> rows{{"day", "found", "offering", "sent", "declined", "failed"}};
    campaign::DayTotals total{"total"};
    for (const auto& day : days) {
        rows.push_back({day.day, std::to_string(day.found), std::to_string(day.offering),
                        std::to_string(day.sent), std::to_string(day.declined),
                        std::to_string(day.failed)});
        total.found += day.found;
        total.offering += day.offering;
        total.sent += day.sent;
        total.declined += day.declined;
        total.failed += day.failed;
    }
    rows.push_back({total.day, std::to_string(total.found), std::to_string(total.offering),
                    std::to_string(total.sent), std::to_string(total.declined),
                    std::to_string(total.failed)});
    std::array<std::size_t, 6> widths{};
    for (const auto& row : rows) {
        for (std::size_t column = 0; column < row.size(); ++column) {
            widths[column] = std::max(widths[column], row[column].size());
        }
    }
    // The day to the left, the counts to the right, two spaces between.
    std::vector<std::string> lines;
    for (const auto& row : rows) {
        std::string line = row[0] + std::string(widths[0] - row[0].size(), ' ');
        for (std::size_t column = 1; column < row.size(); ++column) {
            line += std::string(2 + widths[column] - row[column].size(), ' ') + row[column];
        }
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> reportJson(const std::vector<campaign::DayTotals>& days) {
    std::vector<std::string> lines;
    for (const auto& day : days) {
        lines.push_back(dumped({{"day", day.day},
                                {"found", day.found},
                                {"offering", day.offering},
                                {"sent", day.sent},
                                {"declined", day.declined},
                                {"failed", day.failed}}));
    }
    return lines;
}

}  // namespace flarecast::cli
