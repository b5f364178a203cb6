#pragma once

#include <cstdint>
#include <string>

namespace flarecast::engine {

// How a push ended, in the cases an operator tells apart.
enum class PushEnd {
    Sent,
    // The phone refused the object, with responseCode.
    Refused,
    // The phone refused the OBEX connection, with responseCode.
    ConnectionRefused,
    // The phone stopped answering for longer than the session's limit.
    NoAnswer,
    // The connection ended under the push, after bytesSent of the file.
    ConnectionLost,
    // The device did not take the connection: out of range, or refusing it.
    NotReachable,
    // No local adapter to push through.
    NoBluetooth,
    // The program ended the push.
    Cancelled,
    FileUnreadable,
    // Anything else, such as a broken answer or a failed authentication.
    Failed,
};

struct PushOutcome {
    PushEnd end = PushEnd::Failed;
    // The phone's code as it sent it, final bit included (0xC3 for declined).
    int responseCode = 0;
    // The bytes of the file handed to the push before the connection ended.
    std::uint64_t bytesSent = 0;
};

// The row's detail: a few words for the operator, such as "Sent", "Declined on the phone
// (0xC3)" or "Connection lost after 412 KiB".
std::string detailOf(const PushOutcome& outcome);

}  // namespace flarecast::engine
