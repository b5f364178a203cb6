#pragma once

#include <filesystem>
#include <mutex>
#include <stdexcept>

#include "app/cli/AppendFile.h"
#include "app/engine/Logfile.h"

namespace flarecast::cli {

// The log cannot be opened or is not one; what() is one line with the path.
class CsvLogError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A CSV log in the window's columns that grows by a row at every push. Each row is one write to
// the end of the file, so that a log that several programs append to keeps whole lines.
class CsvLog {
public:
    // Opens or creates the file; a new or empty one gets the header with the ADAPTER column. An
    // existing log keeps its columns; a file whose first line is not a log's header is refused.
    explicit CsvLog(const std::filesystem::path& path);

    // Throws CsvLogError when the row could not be written.
    void append(const engine::Logfile& row);

private:
    void writeLine(const std::string& line);

    const std::filesystem::path path;
    AppendFile file;
    bool withAdapter = true;
    std::mutex lock;
};

}  // namespace flarecast::cli
