#include "app/engine/PushOutcome.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace flarecast::engine {

namespace {

struct Said {
    int code;
    std::string_view text;
};

// What a phone means by refusing an object.
constexpr std::array kRefusals = {
    Said{0xC0, "Phone rejected the request (0xC0)"},
    Said{0xC1, "Phone asks for a password (0xC1)"},
    Said{0xC3, "Declined on the phone (0xC3)"},
    Said{0xC6, "Phone does not accept the file (0xC6)"},
    Said{0xCB, "Phone asks for the file's length (0xCB)"},
    Said{0xCD, "File too large for the phone (0xCD)"},
    Said{0xCE, "Request too large for the phone (0xCE)"},
    Said{0xCF, "Phone refused the file type (0xCF)"},
    Said{0xD0, "Error on the phone (0xD0)"},
    Said{0xD1, "Phone does not take files (0xD1)"},
    Said{0xD3, "Phone is busy (0xD3)"},
    Said{0xE0, "Phone storage is full (0xE0)"},
    Said{0xE1, "Phone storage is locked (0xE1)"},
};

// Refusals of the connection that say more than that it was refused.
constexpr std::array kConnectionRefusals = {
    Said{0xC1, "Phone asks for a password (0xC1)"},
    Said{0xD3, "Phone is busy (0xD3)"},
};

struct Plain {
    PushEnd end;
    std::string_view text;
};

constexpr std::array kPlain = {
    Plain{PushEnd::Sent, "Sent"},
    Plain{PushEnd::NoAnswer, "Phone did not answer in time"},
    Plain{PushEnd::NotReachable, "Not reachable"},
    Plain{PushEnd::NoBluetooth, "Bluetooth is not available"},
    Plain{PushEnd::Cancelled, "Cancelled"},
    Plain{PushEnd::FileUnreadable, "Cannot read the file"},
    Plain{PushEnd::Failed, "Push failed"},
};

std::string hexCode(int code) {
    constexpr std::string_view kDigits = "0123456789ABCDEF";
    const auto byte = static_cast<unsigned>(code) & 0xFFU;
    return {'0', 'x', kDigits[byte >> 4], kDigits[byte & 0xFU]};
}

template <std::size_t N>
std::string said(const std::array<Said, N>& table, int code, const std::string& otherwise) {
    const auto found = std::find_if(table.begin(), table.end(),
                                    [code](const Said& entry) { return entry.code == code; });
    return found != table.end() ? std::string(found->text) : otherwise;
}

std::string lostAfter(std::uint64_t bytes) {
    constexpr std::uint64_t kKiB = 1024;
    if (bytes == 0) {
        return "Connection lost before the file was sent";
    }
    if (bytes < kKiB) {
        return "Connection lost after " + std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    }
    // Whole KiB only: never more than the phone was given.
    return "Connection lost after " + std::to_string(bytes / kKiB) + " KiB";
}

}  // namespace

std::string detailOf(const PushOutcome& outcome) {
    switch (outcome.end) {
        case PushEnd::Refused:
            return said(kRefusals, outcome.responseCode,
                        "Phone answered " + hexCode(outcome.responseCode));
        case PushEnd::ConnectionRefused:
            return said(kConnectionRefusals, outcome.responseCode,
                        "Phone refused the connection (" + hexCode(outcome.responseCode) + ")");
        case PushEnd::ConnectionLost:
            return lostAfter(outcome.bytesSent);
        default:
            break;
    }
    const auto found = std::find_if(kPlain.begin(), kPlain.end(), [&outcome](const Plain& entry) {
        return entry.end == outcome.end;
    });
    return std::string(found != kPlain.end() ? found->text : "Push failed");
}

}  // namespace flarecast::engine
