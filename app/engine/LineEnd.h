#pragma once

#include <string_view>

namespace flarecast::engine {

// How the logs written for people end their lines: as the platform's own text files do.
#if defined(_WIN32)
inline constexpr std::string_view kLineEnd = "\r\n";
#else
inline constexpr std::string_view kLineEnd = "\n";
#endif

}  // namespace flarecast::engine
