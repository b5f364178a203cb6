#pragma once

#include <filesystem>
#include <string>

namespace flarecast::ui {

// The lower-case text after the last "." of the file's name; empty when the name has no dot, or
// its only candidate dot is the first or the last character.
std::string extensionOf(const std::filesystem::path& file);

}  // namespace flarecast::ui
