#pragma once

#include <filesystem>
#include <string>

namespace flarecast::campaign {

// SHA-256 of the file's bytes in lower-case hex; throws std::runtime_error when unreadable.
std::string fileChecksum(const std::filesystem::path& file);

}  // namespace flarecast::campaign
