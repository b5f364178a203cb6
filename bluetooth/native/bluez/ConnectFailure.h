#pragma once

#include <bluetooth/bluetooth.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace flarecast::bluetooth::bluez {

// Why an RFCOMM connect failed, in words: error is the connect's errno, authentication the status
// of the link's latest authentication (pairing) during the connect, when there was one.
std::string connectFailure(int error, std::optional<std::uint8_t> authentication);

// Whether a connect that failed so is worth one more try at once: a device may refuse the channel
// in the instant after a new pairing, before its own side has taken in the new encryption.
bool worthAnotherTry(int error, std::optional<std::uint8_t> authentication);

// Watches one adapter's link events while a connect to one device is made, so that a failed
// connect can tell a refused pairing from a refused channel: both end the connect with
// "Connection refused" when the link was up already. The kernel shows these events to every
// user; where they cannot be watched, nothing is seen.
class PairingWatch {
public:
    PairingWatch(const bdaddr_t& local, const bdaddr_t& remote);
    ~PairingWatch();
    PairingWatch(const PairingWatch&) = delete;
    PairingWatch& operator=(const PairingWatch&) = delete;

    // The status of the latest authentication of a link to the device since the watch began,
    // 0 when it succeeded; the kernel hands it out before the connect that waits on it ends.
    std::optional<std::uint8_t> authentication();

private:
    int fd = -1;
    bdaddr_t device{};
    std::vector<std::uint16_t> links;
    std::optional<std::uint8_t> latest;
};

}  // namespace flarecast::bluetooth::bluez
