#include "app/cli/FileCheck.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "app/ui/FileFilter.h"
#include "bluetooth/io/Utf8Path.h"

namespace flarecast::cli {

std::optional<std::string> whyUnusable(const std::filesystem::path& file) {
    const std::string name = bluetooth::utf8Of(file);
    std::error_code error;
    const auto status = std::filesystem::status(file, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        return "The file to push does not exist: " + name;
    }
    if (error) {
        return "Cannot use the file to push " + name + ": " + error.message();
    }
    if (std::filesystem::is_directory(status)) {
        return name + " is a folder, not a file to push";
    }
    if (!std::filesystem::is_regular_file(status)) {
        return name + " is not a regular file";
    }
    if (!ui::Videofilter::isSupportedType(file)) {
        return "Cannot push " + name +
               ": phones take .jpg, .jpeg, .png, .3gp, .vcf, .txt and .vcl files";
    }
    errno = 0;
    if (const std::ifstream readable(file, std::ios::binary); !readable) {
        const int error = errno;
        return "Cannot read the file to push " + name + ": " +
               (error != 0 ? std::strerror(error) : "it cannot be opened");
    }
    return std::nullopt;
}

}  // namespace flarecast::cli
