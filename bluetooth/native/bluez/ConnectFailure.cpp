#include "bluetooth/native/bluez/ConnectFailure.h"

#include <bluetooth/hci.h>
#include <bluetooth/hci_lib.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace flarecast::bluetooth::bluez {

namespace {

// Baseband statuses that mean the device would not pair: authentication failure, PIN or key
// missing, pairing not allowed, unit keys or Secure Simple Pairing not supported.
bool refusesPairing(std::uint8_t status) {
    constexpr std::array<std::uint8_t, 5> kRefusals{0x05, 0x06, 0x18, 0x29, 0x37};
    return std::find(kRefusals.begin(), kRefusals.end(), status) != kRefusals.end();
}

// A connection handle as events carry it: twelve bits, least significant byte first.
std::uint16_t handleAt(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>((bytes[0] | (bytes[1] << 8)) & 0x0FFF);
}

}  // namespace

std::string connectFailure(int error, std::optional<std::uint8_t> authentication) {
    // The kernel turns those statuses into these errors when the link is made for the connect.
    if ((authentication && refusesPairing(*authentication)) || error == EACCES || error == EBADE) {
        return "Pairing refused by the device";
    }
    return std::strerror(error);
}

bool worthAnotherTry(int error, std::optional<std::uint8_t> authentication) {
    return error == ECONNREFUSED && authentication == 0;
}

PairingWatch::PairingWatch(const bdaddr_t& local, const bdaddr_t& remote) : device(remote) {
    char address[18];
    ::ba2str(&local, address);
    const int adapter = ::hci_devid(address);
    if (adapter < 0) {
        return;
    }
    fd = ::socket(AF_BLUETOOTH, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, BTPROTO_HCI);
    if (fd < 0) {
        return;
    }
    sockaddr_hci at{};
    at.hci_family = AF_BLUETOOTH;
    at.hci_dev = static_cast<std::uint16_t>(adapter);
    at.hci_channel = HCI_CHANNEL_RAW;
    hci_filter filter{};
    hci_filter_set_ptype(HCI_EVENT_PKT, &filter);
    hci_filter_set_event(EVT_CONN_COMPLETE, &filter);
    hci_filter_set_event(EVT_AUTH_COMPLETE, &filter);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at) < 0 ||
        ::setsockopt(fd, SOL_HCI, HCI_FILTER, &filter, sizeof filter) < 0) {
        ::close(fd);
        fd = -1;
        return;
    }
    // A link that is up already (a service search's) carries the connect without a new one.
    alignas(hci_conn_info_req)
        std::array<std::byte, sizeof(hci_conn_info_req) + sizeof(hci_conn_info)>
            asked{};
    auto* const request = reinterpret_cast<hci_conn_info_req*>(asked.data());
    request->bdaddr = remote;
    request->type = ACL_LINK;
    if (::ioctl(fd, HCIGETCONNINFO, request) == 0) {
        links.push_back(request->conn_info[0].handle);
    }
}

PairingWatch::~PairingWatch() {
    if (fd >= 0) {
        ::close(fd);
    }
}

std::optional<std::uint8_t> PairingWatch::authentication() {
    if (fd < 0) {
        return std::nullopt;
    }
    std::array<std::uint8_t, HCI_MAX_EVENT_SIZE + 1> packet;
    for (;;) {
        const ssize_t count = ::recv(fd, packet.data(), packet.size(), 0);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return latest;
        }
        constexpr std::size_t kHeader = 1 + HCI_EVENT_HDR_SIZE;
        if (static_cast<std::size_t>(count) < kHeader) {
            continue;
        }
        const std::uint8_t code = packet[1];
        const std::uint8_t* const event = packet.data() + kHeader;
        const std::size_t length = static_cast<std::size_t>(count) - kHeader;
        if (code == EVT_CONN_COMPLETE && length >= EVT_CONN_COMPLETE_SIZE) {
            evt_conn_complete complete;
            std::memcpy(&complete, event, sizeof complete);
            if (complete.status == 0 && complete.link_type == ACL_LINK &&
                ::bacmp(&complete.bdaddr, &device) == 0) {
                links.push_back(handleAt(event + 1));
            }
        } else if (code == EVT_AUTH_COMPLETE && length >= EVT_AUTH_COMPLETE_SIZE) {
            if (std::find(links.begin(), links.end(), handleAt(event + 1)) != links.end()) {
                latest = event[0];
            }
        }
    }
}

}  // namespace flarecast::bluetooth::bluez
