#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace flarecast::bluetooth::winsock {

// The Winsock error numbers that the stack tells apart; they are the same on every Windows.
namespace wsa {
inline constexpr int kAccessDenied = 10013;
inline constexpr int kInvalidArgument = 10022;
inline constexpr int kWrongProtocolType = 10041;
inline constexpr int kProtocolNotSupported = 10043;
inline constexpr int kSocketTypeNotSupported = 10044;
inline constexpr int kFamilyNotSupported = 10047;
inline constexpr int kAddressInUse = 10048;
inline constexpr int kAddressNotAvailable = 10049;
inline constexpr int kNetworkDown = 10050;
inline constexpr int kNetworkUnreachable = 10051;
inline constexpr int kNetworkReset = 10052;
inline constexpr int kConnectionAborted = 10053;
inline constexpr int kConnectionReset = 10054;
inline constexpr int kNoBufferSpace = 10055;
inline constexpr int kNotConnected = 10057;
inline constexpr int kShutDown = 10058;
inline constexpr int kTimedOut = 10060;
inline constexpr int kConnectionRefused = 10061;
inline constexpr int kHostDown = 10064;
inline constexpr int kHostUnreachable = 10065;
inline constexpr int kNoMore = 10102;
inline constexpr int kServiceNotFound = 10108;
inline constexpr int kNoMoreResults = 10110;
}  // namespace wsa

// A failed socket call in the words Linux has for the same failure, so that a connection fails
// with the same text on both systems; nothing for a number that Linux has no words for.
std::optional<std::string> socketFailure(int error);

// The same for a connect, where a refused access is a pairing that the device refused.
std::optional<std::string> connectFailure(int error);

// How a service lookup that failed with error ended.
enum class LookupEnd {
    // The device answered, without a record that matched.
    NoRecords,
    // The device could not be reached: an I/O error.
    Unreachable,
    // The device answered with an error, or the lookup failed on our side.
    Failed,
};
LookupEnd lookupFailure(int error);

// Whether a lookup's next result failed only because there are no more results.
bool noMoreResults(int error);

// Why there is no Bluetooth, when opening or binding a probe socket failed with error;
// systemText is the system's own text for it.
std::string noBluetooth(int error, std::string_view systemText);

}  // namespace flarecast::bluetooth::winsock
