#pragma once

#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace flarecast::cli {

// What the command line's values mean; each parser gives nothing for text it does not take.

// "90s", "10m", "24h", "7d"; a plain number is minutes.
std::optional<std::chrono::seconds> durationOf(std::string_view text);

// The duration as the rules keep it: whole minutes, rounded up so that a window is never
// shorter than asked.
std::chrono::minutes wholeMinutes(std::chrono::seconds duration);

// "9-18": from the start of hour 9 until the start of hour 18, 0 to 24 (24 being midnight,
// given as 0); "22-6" runs over midnight and "0-24" is all day.
std::optional<std::pair<int, int>> hoursOf(std::string_view text);

// "mon-fri", "mon,wed,sat", "fri-mon" (over the weekend), "mon-wed,sat"; Monday first. Days by
// their first three letters or in full, in any case.
std::optional<std::array<bool, 7>> daysOf(std::string_view text);

// A major device class by its name in any case ("phone", "audio/video"), or nothing.
std::optional<int> majorClassOf(std::string_view text);

// Lower case, for names the operator types in any case.
std::string lowerCase(std::string_view text);

}  // namespace flarecast::cli
