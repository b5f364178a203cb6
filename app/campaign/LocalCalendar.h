#pragma once

#include <ctime>

namespace flarecast::campaign {

// The calendar fields of a moment in the local time zone; false when the moment is out of range.
// Thread-safe, unlike std::localtime.
inline bool localCalendar(std::time_t moment, std::tm& fields) {
#if defined(_WIN32)
    return ::localtime_s(&fields, &moment) == 0;
#else
    return ::localtime_r(&moment, &fields) != nullptr;
#endif
}

}  // namespace flarecast::campaign
