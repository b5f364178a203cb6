#pragma once

#include "app/engine/Logfile.h"

namespace flarecast::campaign {

// How one push attempt counts for a campaign.
enum class Outcome {
    Sent,
    // The phone or its owner said no: the phone answered with a refusal.
    Declined,
    // The radio or the link failed: not reachable, no answer in time, connection lost.
    RadioFailure,
    // The program ended the push (Stop, exit).
    Cancelled,
    // Anything else: no adapter, an unreadable file, a broken answer.
    Failed,
};

Outcome outcomeOf(const engine::Logfile& row);
// "sent", "declined", "radio", "cancelled", "failed": as stored in the history.
const char* nameOf(Outcome outcome);
// The inverse of nameOf; Failed for anything unknown.
Outcome outcomeNamed(const std::string& name);

}  // namespace flarecast::campaign
