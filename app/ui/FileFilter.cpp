#include "app/ui/FileFilter.h"

#include <array>
#include <string_view>
#include <system_error>

#include "app/ui/FileExtension.h"

namespace flarecast::ui {

namespace {

bool isFolder(const std::filesystem::path& file) {
    std::error_code ignored;
    return std::filesystem::is_directory(file, ignored);
}

}  // namespace

bool Savefilter::accept(const std::filesystem::path& file) const {
    return isFolder(file) || extensionOf(file) == "csv";
}

std::string Savefilter::getDescription() const {
    return "Comma Seperated File";
}

bool Videofilter::accept(const std::filesystem::path& file) const {
    return isFolder(file) || isSupportedType(file);
}

std::string Videofilter::getDescription() const {
    return "Resource Files";
}

bool Videofilter::isSupportedType(const std::filesystem::path& file) {
    // A picture named .jpeg is the same kind of file as one named .jpg.
    static constexpr std::array<std::string_view, 7> kSupported = {"jpg", "jpeg", "png", "3gp",
                                                                   "vcf", "txt",  "vcl"};
    const std::string extension = extensionOf(file);
    for (const auto supported : kSupported) {
        if (extension == supported) {
            return true;
        }
    }
    return false;
}

}  // namespace flarecast::ui
