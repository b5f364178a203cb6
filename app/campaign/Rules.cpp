#include "app/campaign/Rules.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

namespace flarecast::campaign {

namespace {

constexpr std::array<std::pair<int, const char*>, 11> kMajorClasses{{
    {0, "Miscellaneous"},
    {1, "Computer"},
    {2, "Phone"},
    {3, "Network"},
    {4, "Audio/Video"},
    {5, "Peripheral"},
    {6, "Imaging"},
    {7, "Wearable"},
    {8, "Toy"},
    {9, "Health"},
    {31, "Uncategorized"},
}};

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

namespace {

std::optional<std::chrono::minutes> inForce(const std::optional<std::chrono::minutes>& window,
                                            bool repeat) {
    if (window) {
        if (*window <= std::chrono::minutes::zero()) {
            return std::nullopt;
        }
        return window;
    }
    if (repeat) {
        return std::chrono::duration_cast<std::chrono::minutes>(kDefaultAcceptedWindow);
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::chrono::minutes> Rules::acceptedWindowInForce() const {
    return inForce(acceptedWindow, repeat);
}

std::optional<std::chrono::minutes> Rules::declinedWindowInForce() const {
    return inForce(declinedWindow, repeat);
}

std::string majorClassName(int major) {
    for (const auto& [number, name] : kMajorClasses) {
        if (number == major) {
            return name;
        }
    }
    return "Class " + std::to_string(major);
}

std::optional<int> majorClassNamed(const std::string& name) {
    const std::string wanted = lower(name);
    for (const auto& [number, known] : kMajorClasses) {
        const std::string each = lower(known);
        // "audio" is enough for Audio/Video.
        if (each == wanted || (wanted == "audio" && number == 4)) {
            return number;
        }
    }
    return std::nullopt;
}

std::optional<std::string> normalAddress(const std::string& text) {
    std::string digits;
    for (const char c : text) {
        if (c == ':' || c == '-') {
            continue;
        }
        if (std::isxdigit(static_cast<unsigned char>(c)) == 0) {
            return std::nullopt;
        }
        digits += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (digits.size() != 12 && digits.size() != 6) {
        return std::nullopt;
    }
    return digits;
}

}  // namespace flarecast::campaign
