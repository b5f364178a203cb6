#include "app/campaign/RuleCheck.h"

#include <algorithm>
#include <cctype>
#include <ctime>

#include "app/campaign/LocalCalendar.h"

namespace flarecast::campaign {

namespace {

using std::chrono::duration_cast;
using std::chrono::hours;
using std::chrono::minutes;
using std::chrono::seconds;

char folded(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// Shell-style * and ?, over the whole text, ignoring ASCII case.
bool matches(const std::string& pattern, const std::string& text) {
    std::size_t p = 0;
    std::size_t t = 0;
    std::size_t star = std::string::npos;
    std::size_t resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || folded(pattern[p]) == folded(text[t]))) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (star != std::string::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

std::string plainAddress(const std::string& address) {
    return normalAddress(address).value_or(address);
}

// Which entry of the list the device matches: "address", "maker", "name", or nothing.
std::optional<std::string> matchOf(const DeviceList& list, const engine::SeenDevice& device) {
    const std::string address = plainAddress(device.address);
    if (std::find(list.addresses.begin(), list.addresses.end(), address) != list.addresses.end()) {
        return "address";
    }
    if (std::any_of(list.prefixes.begin(), list.prefixes.end(),
                    [&](const auto& prefix) { return address.starts_with(prefix); })) {
        return "maker";
    }
    if (std::any_of(list.names.begin(), list.names.end(),
                    [&](const auto& pattern) { return matches(pattern, device.name); })) {
        return "name";
    }
    return std::nullopt;
}

// "40 s", "15 min", "3 h", "2 d": whole units, rounded down.
std::string spoken(Clock::duration length) {
    const auto secs = duration_cast<seconds>(length).count();
    if (secs < 60) {
        return std::to_string(std::max<long long>(secs, 0)) + " s";
    }
    if (secs < 3600) {
        return std::to_string(secs / 60) + " min";
    }
    if (secs < 48 * 3600) {
        return std::to_string(secs / 3600) + " h";
    }
    return std::to_string(secs / 86400) + " d";
}

bool within(const std::optional<Clock::time_point>& when, minutes window, Clock::time_point now) {
    return when && now - *when < window;
}

}  // namespace

LocalTime localTimeOf(Clock::time_point when) {
    const std::time_t seconds = Clock::to_time_t(when);
    std::tm local{};
    localCalendar(seconds, local);
    // tm_wday counts from Sunday.
    return {(local.tm_wday + 6) % 7, local.tm_hour};
}

bool withinHours(const Hours& hours, LocalTime now) {
    if (!hours.days.at(static_cast<std::size_t>(now.weekday))) {
        return false;
    }
    if (hours.from == hours.to) {
        return true;
    }
    if (hours.from < hours.to) {
        return now.hour >= hours.from && now.hour < hours.to;
    }
    return now.hour >= hours.from || now.hour < hours.to;
}

std::optional<std::string> skipReason(const Rules& rules, const engine::SeenDevice& device,
                                      const DeviceRecord& record, Clock::time_point now,
                                      LocalTime local) {
    if (rules.hours && !withinHours(*rules.hours, local)) {
        return "outside the campaign's hours";
    }
    if (const auto blocked = matchOf(rules.block, device)) {
        return "blocked " + *blocked;
    }
    if (!rules.allow.empty() && !matchOf(rules.allow, device)) {
        return "not on the allow list";
    }
    if (rules.majorClasses) {
        const int major = (device.deviceClass >> 8) & 0x1F;
        if (!rules.majorClasses->contains(major)) {
            return "class " + majorClassName(major) + " is not pushed";
        }
    }
    if (const auto window = rules.declinedWindowInForce();
        window && within(record.lastDeclined, *window, now)) {
        return "declined " + spoken(now - *record.lastDeclined) + " ago, within " + spoken(*window);
    }
    if (const auto window = rules.acceptedWindowInForce();
        window && within(record.lastSent, *window, now)) {
        return "accepted " + spoken(now - *record.lastSent) + " ago, within " + spoken(*window);
    }
    if (rules.retry && record.radioFailuresInARow > 0 && record.lastRadioFailure) {
        const auto since = now - *record.lastRadioFailure;
        // Once the tries are used up, the device waits a day before the next.
        if (record.radioFailuresInARow > rules.retry->times) {
            if (since < hours(24)) {
                return "the link failed " + std::to_string(record.radioFailuresInARow) +
                       " times, the last " + spoken(since) + " ago";
            }
        } else if (since < rules.retry->delay) {
            return "the link failed " + spoken(since) + " ago, next try after " +
                   spoken(rules.retry->delay);
        }
    }
    return std::nullopt;
}

}  // namespace flarecast::campaign
