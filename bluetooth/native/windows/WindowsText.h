#pragma once

#include <string>
#include <string_view>

namespace flarecast::bluetooth {

// Windows speaks UTF-16; everything of ours is UTF-8.
std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view wide);

// The system's own text for a GetLastError or WSAGetLastError code, without the final period.
std::string windowsErrorText(unsigned long code);

}  // namespace flarecast::bluetooth
