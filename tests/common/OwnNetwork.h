#pragma once

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

namespace flarecast::testing {

// Moves the calling thread, and every thread and process it starts from now on, into a network
// namespace of its own with only loopback up, so that servers on fixed ports cannot collide with
// another test run on the same machine. Nothing when that worked, else why not.
inline std::optional<std::string> enterOwnNetwork() {
    if (::unshare(CLONE_NEWNET) != 0) {
        return std::string("no network namespace of its own (needs root or user namespaces): ") +
               std::strerror(errno);
    }
    const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0) {
        return std::string("no socket in the new network namespace: ") + std::strerror(errno);
    }
    ifreq loopback{};
    std::strncpy(loopback.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = ::ioctl(probe, SIOCGIFFLAGS, &loopback) == 0;
    loopback.ifr_flags = static_cast<short>(loopback.ifr_flags | IFF_UP);
    up = up && ::ioctl(probe, SIOCSIFFLAGS, &loopback) == 0;
    const int error = errno;
    ::close(probe);
    if (!up) {
        return std::string("loopback cannot be brought up: ") + std::strerror(error);
    }
    return std::nullopt;
}

}  // namespace flarecast::testing
