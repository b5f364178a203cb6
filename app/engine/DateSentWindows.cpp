#include "app/engine/DateSent.h"

#include <windows.h>

#include <array>

#include "bluetooth/native/windows/WindowsText.h"

namespace flarecast::engine {

namespace {

// Windows' 100 ns ticks from 1601 to the Unix epoch.
constexpr std::int64_t kEpochTicks = 116'444'736'000'000'000;

std::int64_t ticksOf(const SYSTEMTIME& time) {
    FILETIME file{};
    ::SystemTimeToFileTime(&time, &file);
    return (std::int64_t{file.dwHighDateTime} << 32) | file.dwLowDateTime;
}

// Windows' time formats have no zone, the full style has its name: the standard or the daylight
// one, whichever the moment's offset says. Empty when the system knows none.
std::string zoneName(const SYSTEMTIME& universal, const SYSTEMTIME& local) {
    TIME_ZONE_INFORMATION zone{};
    if (!::GetTimeZoneInformationForYear(local.wYear, nullptr, &zone)) {
        return {};
    }
    constexpr std::int64_t kTicksPerMinute = 600'000'000;
    const auto offsetMinutes = (ticksOf(local) - ticksOf(universal)) / kTicksPerMinute;
    const bool daylight =
        zone.DaylightDate.wMonth != 0 && -offsetMinutes == zone.Bias + zone.DaylightBias;
    const std::string name = bluetooth::narrow(daylight ? zone.DaylightName : zone.StandardName);
    return name.empty() ? std::string{} : " " + name;
}

}  // namespace

std::string fullDateTime(std::chrono::system_clock::time_point moment) {
    const auto ticks =
        std::chrono::duration_cast<std::chrono::nanoseconds>(moment.time_since_epoch()).count() /
            100 +
        kEpochTicks;
    FILETIME utc{static_cast<DWORD>(ticks & 0xffffffff), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME universal{};
    SYSTEMTIME local{};
    if (ticks < 0 || !::FileTimeToSystemTime(&utc, &universal) ||
        !::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
        return {};
    }
    std::array<wchar_t, 256> date{};
    std::array<wchar_t, 128> time{};
    if (::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_LONGDATE, &local, nullptr, date.data(),
                          static_cast<int>(date.size()), nullptr) == 0 ||
        ::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &local, nullptr, time.data(),
                          static_cast<int>(time.size())) == 0) {
        return {};
    }
    return bluetooth::narrow(date.data()) + " " + bluetooth::narrow(time.data()) +
           zoneName(universal, local);
}

}  // namespace flarecast::engine
