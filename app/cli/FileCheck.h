#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace flarecast::cli {

// Why the file cannot be pushed, in one line naming it: missing, a folder, unreadable, or of a
// type the window would not take either; nothing when it can.
std::optional<std::string> whyUnusable(const std::filesystem::path& file);

}  // namespace flarecast::cli
