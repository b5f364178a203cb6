#include <gtest/gtest.h>

#include "app/engine/PushOutcome.h"

namespace flarecast::engine {
namespace {

TEST(PushOutcome, EachEndHasItsDetail) {
    struct Case {
        PushOutcome outcome;
        const char* detail;
    };
    const Case cases[] = {
        {{PushEnd::Sent, 0xA0}, "Sent"},
        {{PushEnd::Refused, 0xC3}, "Declined on the phone (0xC3)"},
        {{PushEnd::Refused, 0xCF}, "Phone refused the file type (0xCF)"},
        {{PushEnd::Refused, 0xCB}, "Phone asks for the file's length (0xCB)"},
        {{PushEnd::Refused, 0xC1}, "Phone asks for a password (0xC1)"},
        {{PushEnd::Refused, 0xCD}, "File too large for the phone (0xCD)"},
        {{PushEnd::Refused, 0xD3}, "Phone is busy (0xD3)"},
        // Codes without words of their own, and one without its final bit, as the phone sent it.
        {{PushEnd::Refused, 0xC4}, "Phone answered 0xC4"},
        {{PushEnd::Refused, 0xFF}, "Phone answered 0xFF"},
        {{PushEnd::Refused, 0x43}, "Phone answered 0x43"},
        {{PushEnd::ConnectionRefused, 0xC3}, "Phone refused the connection (0xC3)"},
        {{PushEnd::ConnectionRefused, 0xC6}, "Phone refused the connection (0xC6)"},
        {{PushEnd::ConnectionRefused, 0xC1}, "Phone asks for a password (0xC1)"},
        {{PushEnd::ConnectionRefused, 0xD3}, "Phone is busy (0xD3)"},
        {{PushEnd::ConnectionLost, 0, 0}, "Connection lost before the file was sent"},
        {{PushEnd::ConnectionLost, 0, 1}, "Connection lost after 1 byte"},
        {{PushEnd::ConnectionLost, 0, 300}, "Connection lost after 300 bytes"},
        {{PushEnd::ConnectionLost, 0, 1023}, "Connection lost after 1023 bytes"},
        {{PushEnd::ConnectionLost, 0, 1024}, "Connection lost after 1 KiB"},
        // Whole KiB, never more than went.
        {{PushEnd::ConnectionLost, 0, 412 * 1024 + 1023}, "Connection lost after 412 KiB"},
        {{PushEnd::NoAnswer}, "Phone did not answer in time"},
        {{PushEnd::NotReachable}, "Not reachable"},
        {{PushEnd::NoBluetooth}, "Bluetooth is not available"},
        {{PushEnd::Cancelled}, "Cancelled"},
        {{PushEnd::FileUnreadable}, "Cannot read the file"},
        {{PushEnd::Failed}, "Push failed"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(detailOf(c.outcome), c.detail);
    }
}

}  // namespace
}  // namespace flarecast::engine
