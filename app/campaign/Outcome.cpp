#include "app/campaign/Outcome.h"

#include <array>
#include <utility>

namespace flarecast::campaign {

namespace {

// A phone that answers busy has not refused the object: it may take it later.
constexpr int kBusy = 0xD3;

constexpr std::array<std::pair<Outcome, const char*>, 5> kNames{{
    {Outcome::Sent, "sent"},
    {Outcome::Declined, "declined"},
    {Outcome::RadioFailure, "radio"},
    {Outcome::Cancelled, "cancelled"},
    {Outcome::Failed, "failed"},
}};

}  // namespace

Outcome outcomeOf(const engine::Logfile& row) {
    using engine::PushEnd;
    if (row.sent) {
        return Outcome::Sent;
    }
    switch (row.end) {
        case PushEnd::Sent:
            return Outcome::Sent;
        case PushEnd::Refused:
        case PushEnd::ConnectionRefused:
            return row.responseCode == kBusy ? Outcome::RadioFailure : Outcome::Declined;
        case PushEnd::NoAnswer:
        case PushEnd::ConnectionLost:
        case PushEnd::NotReachable:
            return Outcome::RadioFailure;
        case PushEnd::Cancelled:
            return Outcome::Cancelled;
        case PushEnd::NoBluetooth:
        case PushEnd::FileUnreadable:
        case PushEnd::Failed:
            break;
    }
    return Outcome::Failed;
}

const char* nameOf(Outcome outcome) {
    for (const auto& [each, name] : kNames) {
        if (each == outcome) {
            return name;
        }
    }
    return "failed";
}

Outcome outcomeNamed(const std::string& name) {
    for (const auto& [each, known] : kNames) {
        if (name == known) {
            return each;
        }
    }
    return Outcome::Failed;
}

}  // namespace flarecast::campaign
