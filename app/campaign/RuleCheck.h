#pragma once

#include <optional>
#include <string>

#include "app/campaign/History.h"
#include "app/campaign/Rules.h"
#include "app/engine/DeviceGate.h"

namespace flarecast::campaign {

// The local wall clock, as the hours rule reads it.
struct LocalTime {
    // Monday is 0.
    int weekday = 0;
    int hour = 0;
};
LocalTime localTimeOf(Clock::time_point when);

bool withinHours(const Hours& hours, LocalTime now);

// The rule that skips the device now, in a few words ("blocked address", "declined 2 h ago,
// within 24 h", ...), or nothing when the rules let it be pushed.
std::optional<std::string> skipReason(const Rules& rules, const engine::SeenDevice& device,
                                      const DeviceRecord& record, Clock::time_point now,
                                      LocalTime local);

}  // namespace flarecast::campaign
