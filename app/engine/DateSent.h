#pragma once

#include <chrono>
#include <string>

namespace flarecast::engine {

// A moment as the default locale writes it with its full date style and full time style, date
// first: weekday and month in words, the time to the second with the time zone.
std::string fullDateTime(std::chrono::system_clock::time_point moment);

}  // namespace flarecast::engine
