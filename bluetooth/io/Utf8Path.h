#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace flarecast::bluetooth {

// Paths travel as UTF-8 strings everywhere. std::filesystem takes a plain string in the
// system's narrow encoding, which on Windows is not UTF-8; these say the encoding.
inline std::filesystem::path pathFromUtf8(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string utf8Of(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

}  // namespace flarecast::bluetooth
