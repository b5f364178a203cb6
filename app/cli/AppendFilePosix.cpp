#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/cli/AppendFile.h"

namespace flarecast::cli {

namespace {

[[noreturn]] void fail() {
    throw AppendFileError(std::strerror(errno));
}

}  // namespace

AppendFile::AppendFile(const std::filesystem::path& path)
    : fd(::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644)) {
    if (fd < 0) {
        fail();
    }
}

AppendFile::~AppendFile() {
    ::close(fd);
}

std::uint64_t AppendFile::size() const {
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        fail();
    }
    return static_cast<std::uint64_t>(status.st_size);
}

std::string AppendFile::head(std::size_t limit) const {
    std::string text;
    char c = 0;
    while (text.size() < limit && ::pread(fd, &c, 1, static_cast<off_t>(text.size())) == 1) {
        text.push_back(c);
        if (c == '\n') {
            break;
        }
    }
    return text;
}

void AppendFile::append(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t count = ::write(fd, bytes.data(), bytes.size());
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            fail();
        }
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
}

}  // namespace flarecast::cli
