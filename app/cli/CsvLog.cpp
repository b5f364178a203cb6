#include "app/cli/CsvLog.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "app/cli/RowText.h"

namespace flarecast::cli {

namespace {

std::string reason() {
    return std::strerror(errno);
}

// The file's first line, without its line end; at most what a header takes.
std::string firstLine(int fd) {
    std::string line;
    char c = 0;
    while (line.size() < 256 && ::pread(fd, &c, 1, static_cast<off_t>(line.size())) == 1 &&
           c != '\n') {
        line.push_back(c);
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

}  // namespace

CsvLog::CsvLog(const std::filesystem::path& path)
    : path(path), fd(::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644)) {
    if (!fd.valid()) {
        throw CsvLogError("Cannot open the log " + path.string() + ": " + reason());
    }
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0) {
        throw CsvLogError("Cannot open the log " + path.string() + ": " + reason());
    }
    if (status.st_size == 0) {
        writeLine(csvHeader(true));
        return;
    }
    const std::string header = firstLine(fd.get());
    if (header == csvHeader(false)) {
        withAdapter = false;
    } else if (header != csvHeader(true)) {
        throw CsvLogError("The file " + path.string() +
                          " is not a Flarecast log: its first line is not the log's header");
    }
}

void CsvLog::append(const engine::Logfile& row) {
    const std::lock_guard guard(lock);
    writeLine(csvLine(row, withAdapter));
}

void CsvLog::writeLine(const std::string& line) {
    const std::string whole = line + "\n";
    std::size_t written = 0;
    while (written < whole.size()) {
        const ssize_t count = ::write(fd.get(), whole.data() + written, whole.size() - written);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            throw CsvLogError("Cannot write to the log " + path.string() + ": " + reason());
        }
        written += static_cast<std::size_t>(count);
    }
}

}  // namespace flarecast::cli
