#pragma once

#include <array>
#include <chrono>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace flarecast::campaign {

// Addresses, makers and names; a device matches when any entry does.
struct DeviceList {
    // Twelve hex digits, without separators, upper case.
    std::vector<std::string> addresses;
    // The maker's part: the first six hex digits, upper case.
    std::vector<std::string> prefixes;
    // Shell-style patterns (* and ?), matched against the whole name, ignoring case.
    std::vector<std::string> names;

    bool empty() const { return addresses.empty() && prefixes.empty() && names.empty(); }
};

// When a campaign pushes, in local time.
struct Hours {
    // From the start of hour `from` until the start of hour `to`; from > to runs over midnight
    // and from == to means all day.
    int from = 0;
    int to = 0;
    // Monday first.
    std::array<bool, 7> days{true, true, true, true, true, true, true};
};

// How often to try a device again after the radio or the link failed.
struct Retry {
    int times = 3;
    std::chrono::minutes delay{10};
};

// A campaign's rules, each off unless set.
struct Rules {
    // Passes follow each other until Stop, this long apart.
    bool repeat = false;
    std::chrono::seconds passPause{10};
    // Between push starts; the engine's own when unset.
    std::optional<std::chrono::milliseconds> pushPause;
    // A device that accepted is not pushed again within this; 24 h when repeating and unset,
    // off when zero.
    std::optional<std::chrono::minutes> acceptedWindow;
    std::optional<Retry> retry;
    // A device that declined is not pushed again within this; as the accepted window, 24 h
    // when repeating and unset, off when zero: a repeating campaign must not pester its owner.
    std::optional<std::chrono::minutes> declinedWindow;
    // Major device classes (bits 8 to 12 of the class of device, shifted down: 2 is Phone)
    // that are pushed; all when unset.
    std::optional<std::set<int>> majorClasses;
    // Only these, when not empty.
    DeviceList allow;
    DeviceList block;
    std::optional<Hours> hours;
    // Search and push each device as soon as the inquiry reports it.
    bool serveWhileInquiring = false;

    // The no-repeat window in force: acceptedWindow, or its default.
    std::optional<std::chrono::minutes> acceptedWindowInForce() const;
    std::optional<std::chrono::minutes> declinedWindowInForce() const;
};

inline constexpr int kMajorPhone = 2;
inline constexpr std::chrono::hours kDefaultAcceptedWindow{24};

// The major class's name ("Phone", "Imaging", ...) and back; nothing for an unknown name.
std::string majorClassName(int major);
std::optional<int> majorClassNamed(const std::string& name);

// An address or a maker prefix, with or without colons or dashes, as DeviceList keeps it;
// nothing when it is neither.
std::optional<std::string> normalAddress(const std::string& text);

}  // namespace flarecast::campaign
