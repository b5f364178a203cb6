#include "bluetooth/native/winsock/WinsockErrors.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace flarecast::bluetooth::winsock {

namespace {

struct Words {
    int error;
    std::string_view text;
};

// glibc's texts for the errno that each of these stands for.
constexpr std::array kLinuxWords = {
    Words{wsa::kAccessDenied, "Permission denied"},
    Words{wsa::kInvalidArgument, "Invalid argument"},
    Words{wsa::kAddressInUse, "Address already in use"},
    Words{wsa::kAddressNotAvailable, "Cannot assign requested address"},
    Words{wsa::kNetworkDown, "Network is down"},
    Words{wsa::kNetworkUnreachable, "Network is unreachable"},
    Words{wsa::kNetworkReset, "Network dropped connection on reset"},
    Words{wsa::kConnectionAborted, "Software caused connection abort"},
    Words{wsa::kConnectionReset, "Connection reset by peer"},
    Words{wsa::kNoBufferSpace, "No buffer space available"},
    Words{wsa::kNotConnected, "Transport endpoint is not connected"},
    Words{wsa::kShutDown, "Cannot send after transport endpoint shutdown"},
    Words{wsa::kTimedOut, "Connection timed out"},
    Words{wsa::kConnectionRefused, "Connection refused"},
    Words{wsa::kHostDown, "Host is down"},
    Words{wsa::kHostUnreachable, "No route to host"},
};

constexpr std::array kUnreachable = {
    wsa::kNetworkDown,       wsa::kNetworkUnreachable, wsa::kConnectionAborted,
    wsa::kConnectionReset,   wsa::kNotConnected,       wsa::kTimedOut,
    wsa::kConnectionRefused, wsa::kHostDown,           wsa::kHostUnreachable,
};

template <typename Table, typename Value>
bool contains(const Table& table, Value value) {
    return std::find(table.begin(), table.end(), value) != table.end();
}

}  // namespace

std::optional<std::string> socketFailure(int error) {
    const auto found = std::find_if(kLinuxWords.begin(), kLinuxWords.end(),
                                    [error](const Words& words) { return words.error == error; });
    if (found == kLinuxWords.end()) {
        return std::nullopt;
    }
    return std::string(found->text);
}

std::optional<std::string> connectFailure(int error) {
    if (error == wsa::kAccessDenied) {
        return "Pairing refused by the device";
    }
    return socketFailure(error);
}

LookupEnd lookupFailure(int error) {
    if (error == wsa::kServiceNotFound || noMoreResults(error)) {
        return LookupEnd::NoRecords;
    }
    return contains(kUnreachable, error) ? LookupEnd::Unreachable : LookupEnd::Failed;
}

bool noMoreResults(int error) {
    return error == wsa::kNoMore || error == wsa::kNoMoreResults;
}

std::string noBluetooth(int error, std::string_view systemText) {
    const std::string code = " (Winsock error " + std::to_string(error) + ")";
    constexpr std::array kNoStack = {wsa::kWrongProtocolType, wsa::kProtocolNotSupported,
                                     wsa::kSocketTypeNotSupported, wsa::kFamilyNotSupported};
    if (contains(kNoStack, error)) {
        return "Windows has no Bluetooth radio to use" + code;
    }
    if (error == wsa::kNetworkDown) {
        return "the Bluetooth radio is switched off" + code;
    }
    return "Bluetooth sockets cannot be opened: " + std::string(systemText) + code;
}

}  // namespace flarecast::bluetooth::winsock
