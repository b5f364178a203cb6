#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace flarecast::cli {

// What the system said; one line, without the path.
class AppendFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file that only grows at its end, opened or created. Every append is one write at the end as
// the system places it, so that several programs appending to one file keep whole lines.
class AppendFile {
public:
    explicit AppendFile(const std::filesystem::path& path);
    ~AppendFile();
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    std::uint64_t size() const;
    // Up to `limit` bytes from the start, stopping after the first line feed.
    std::string head(std::size_t limit) const;
    void append(std::string_view bytes);

private:
#if defined(_WIN32)
    void* handle;
#else
    int fd;
#endif
};

}  // namespace flarecast::cli
