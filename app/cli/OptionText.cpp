#include "app/cli/OptionText.h"

#include <charconv>
#include <cstdint>
#include <limits>

#include "app/campaign/Rules.h"

namespace flarecast::cli {

namespace {

std::optional<std::int64_t> numberOf(std::string_view text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || value < 0) {
        return std::nullopt;
    }
    return value;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

std::optional<int> dayOf(std::string_view text) {
    static constexpr std::array<std::string_view, 7> kDays = {
        "monday", "tuesday", "wednesday", "thursday", "friday", "saturday", "sunday"};
    const std::string name = lowerCase(trimmed(text));
    for (std::size_t day = 0; day < kDays.size(); ++day) {
        if (name.size() >= 3 && kDays[day].starts_with(name)) {
            return static_cast<int>(day);
        }
    }
    return std::nullopt;
}

}  // namespace

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

std::optional<std::chrono::seconds> durationOf(std::string_view text) {
    text = trimmed(text);
    std::int64_t unit = 60;
    if (!text.empty() && (text.back() < '0' || text.back() > '9')) {
        switch (text.back()) {
            case 's':
                unit = 1;
                break;
            case 'm':
                unit = 60;
                break;
            case 'h':
                unit = 60 * 60;
                break;
            case 'd':
                unit = 24 * 60 * 60;
                break;
            default:
                return std::nullopt;
        }
        text.remove_suffix(1);
    }
    const std::optional<std::int64_t> count = numberOf(text);
    // Ten years is longer than any campaign; more is a typing error, and would overflow below.
    constexpr std::int64_t kLongest = std::int64_t{10} * 366 * 24 * 60 * 60;
    if (!count || *count > kLongest / unit) {
        return std::nullopt;
    }
    return std::chrono::seconds(*count * unit);
}

std::chrono::minutes wholeMinutes(std::chrono::seconds duration) {
    return std::chrono::ceil<std::chrono::minutes>(duration);
}

std::optional<std::pair<int, int>> hoursOf(std::string_view text) {
    const std::size_t dash = text.find('-');
    if (dash == std::string_view::npos) {
        return std::nullopt;
    }
    const auto from = numberOf(trimmed(text.substr(0, dash)));
    const auto to = numberOf(trimmed(text.substr(dash + 1)));
    // 9-9 would be all day, which no one means by it; 0-24 says so.
    if (!from || !to || *from > 24 || *to > 24 || *from == *to) {
        return std::nullopt;
    }
    return std::pair{static_cast<int>(*from % 24), static_cast<int>(*to % 24)};
}

std::optional<std::array<bool, 7>> daysOf(std::string_view text) {
    std::array<bool, 7> days{};
    bool any = false;
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        const std::size_t dash = item.find('-');
        const auto first = dayOf(item.substr(0, dash));
        const auto last = dash == std::string_view::npos ? first : dayOf(item.substr(dash + 1));
        if (!first || !last) {
            return std::nullopt;
        }
        // A range may run over the weekend: fri-mon.
        for (int day = *first;; day = (day + 1) % 7) {
            days[static_cast<std::size_t>(day)] = true;
            if (day == *last) {
                break;
            }
        }
        any = true;
        if (comma == std::string_view::npos) {
            break;
        }
        text.remove_prefix(comma + 1);
    }
    if (!any) {
        return std::nullopt;
    }
    return days;
}

std::optional<int> majorClassOf(std::string_view text) {
    const std::string wanted = lowerCase(trimmed(text));
    if (wanted.empty()) {
        return std::nullopt;
    }
    // The five bits of the major class.
    for (int major = 0; major < 32; ++major) {
        if (lowerCase(campaign::majorClassName(major)) == wanted) {
            return major;
        }
    }
    return campaign::majorClassNamed(std::string(trimmed(text)));
}

}  // namespace flarecast::cli
