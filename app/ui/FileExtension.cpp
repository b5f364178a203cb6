#include "app/ui/FileExtension.h"

#include <algorithm>

#include "bluetooth/io/Utf8Path.h"

namespace flarecast::ui {

std::string extensionOf(const std::filesystem::path& file) {
    const std::string name = bluetooth::utf8Of(file.filename());
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) {
        return {};
    }
    std::string extension = name.substr(dot + 1);
    // Every extension we compare against is ASCII, so an ASCII fold is enough and ignores locale
    // quirks such as the Turkish dotless i.
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return extension;
}

}  // namespace flarecast::ui
