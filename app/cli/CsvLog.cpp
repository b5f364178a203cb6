#include "app/cli/CsvLog.h"

#include <string>

#include "app/cli/RowText.h"
#include "app/engine/LineEnd.h"
#include "bluetooth/io/Utf8Path.h"

namespace flarecast::cli {

namespace {

// The file's first line, without its line end; at most what a header takes.
std::string firstLine(const AppendFile& file) {
    std::string line = file.head(256);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    return line;
}

AppendFile opened(const std::filesystem::path& path) {
    try {
        return AppendFile(path);
    } catch (const AppendFileError& error) {
        throw CsvLogError("Cannot open the log " + bluetooth::utf8Of(path) + ": " + error.what());
    }
}

}  // namespace

CsvLog::CsvLog(const std::filesystem::path& path) : path(path), file(opened(path)) {
    std::uint64_t size = 0;
    try {
        size = file.size();
    } catch (const AppendFileError& error) {
        throw CsvLogError("Cannot open the log " + bluetooth::utf8Of(path) + ": " + error.what());
    }
    if (size == 0) {
        writeLine(csvHeader(true));
        return;
    }
    const std::string header = firstLine(file);
    if (header == csvHeader(false)) {
        withAdapter = false;
    } else if (header != csvHeader(true)) {
        throw CsvLogError("The file " + bluetooth::utf8Of(path) +
                          " is not a Flarecast log: its first line is not the log's header");
    }
}

void CsvLog::append(const engine::Logfile& row) {
    const std::lock_guard guard(lock);
    writeLine(csvLine(row, withAdapter));
}

void CsvLog::writeLine(const std::string& line) {
    try {
        file.append(line + std::string(engine::kLineEnd));
    } catch (const AppendFileError& error) {
        throw CsvLogError("Cannot write to the log " + bluetooth::utf8Of(path) + ": " +
                          error.what());
    }
}

}  // namespace flarecast::cli
