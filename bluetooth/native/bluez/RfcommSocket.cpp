#include "bluetooth/native/bluez/RfcommSocket.h"

#include <bluetooth/rfcomm.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "bluetooth/io/Errors.h"
#include "bluetooth/native/bluez/BluezAddress.h"
#include "bluetooth/native/bluez/ConnectFailure.h"

namespace flarecast::bluetooth::bluez {

namespace {

[[noreturn]] void fail(const std::string& what, int error = errno) {
    throw IOError(what + ": " + std::strerror(error));
}

sockaddr_rc rfcommAddress(const bdaddr_t& address, int channel) {
    sockaddr_rc result{};
    result.rc_family = AF_BLUETOOTH;
    result.rc_bdaddr = address;
    result.rc_channel = static_cast<std::uint8_t>(channel);
    return result;
}

}  // namespace

RfcommSocket::RfcommSocket(bool authenticate, bool encrypt) {
    fd = ::socket(AF_BLUETOOTH, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, BTPROTO_RFCOMM);
    if (fd < 0) {
        fail("cannot create an RFCOMM socket");
    }
    wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        const int error = errno;
        ::close(fd);
        fail("cannot create an RFCOMM socket", error);
    }
    // Encryption on BR/EDR needs an authenticated link key, so both ask for the same level.
    security.level = authenticate || encrypt ? BT_SECURITY_MEDIUM : BT_SECURITY_LOW;
    if (::setsockopt(fd, SOL_BLUETOOTH, BT_SECURITY, &security, sizeof security) < 0) {
        const int error = errno;
        ::close(fd);
        ::close(wake);
        fail("cannot set the RFCOMM socket's security level", error);
    }
}

RfcommSocket::RfcommSocket(int acceptedFd) : fd(acceptedFd) {
    wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        const int error = errno;
        ::close(fd);
        fail("cannot take an RFCOMM connection", error);
    }
}

RfcommSocket::~RfcommSocket() {
    ::close(fd);
    ::close(wake);
}

void RfcommSocket::failIfClosed() const {
    if (closed) {
        throw IOError("socket closed");
    }
}

short RfcommSocket::waitFor(short events, const std::chrono::steady_clock::time_point* deadline) {
    for (;;) {
        pollfd watched[2] = {{fd, events, 0}, {wake, POLLIN, 0}};
        int timeout = -1;
        if (deadline != nullptr) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                *deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                throw IOError("no answer from the device");
            }
            timeout = static_cast<int>(left.count());
        }
        const int ready = ::poll(watched, 2, timeout);
        if (ready < 0 && errno != EINTR) {
            fail("waiting on an RFCOMM socket");
        }
        if (watched[1].revents != 0) {
            throw IOError("socket closed");
        }
        if (watched[0].revents != 0) {
            return watched[0].revents;
        }
    }
}

void RfcommSocket::connect(const bdaddr_t& local, const bdaddr_t& remote, int channel,
                           std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    PairingWatch pairing(local, remote);
    int error = attempt(local, remote, channel, deadline);
    auto authentication = pairing.authentication();
    if (worthAnotherTry(error, authentication)) {
        renew();
        error = attempt(local, remote, channel, deadline);
        authentication = pairing.authentication();
    }
    if (error != 0) {
        throw IOError("cannot connect to channel " + std::to_string(channel) + ": " +
                      connectFailure(error, authentication));
    }
}

int RfcommSocket::attempt(const bdaddr_t& local, const bdaddr_t& remote, int channel,
                          const std::chrono::steady_clock::time_point& deadline) {
    failIfClosed();
    // Bound to the chosen adapter, or the kernel would pick one itself.
    const sockaddr_rc from = rfcommAddress(local, 0);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&from), sizeof from) < 0) {
        fail("cannot bind an RFCOMM socket to the adapter");
    }
    const sockaddr_rc to = rfcommAddress(remote, channel);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) {
        return 0;
    }
    if (errno != EINPROGRESS && errno != EAGAIN) {
        return errno;
    }
    waitFor(POLLOUT, &deadline);
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) < 0) {
        error = errno;
    }
    return error;
}

void RfcommSocket::renew() {
    const int fresh =
        ::socket(AF_BLUETOOTH, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, BTPROTO_RFCOMM);
    if (fresh < 0) {
        fail("cannot create an RFCOMM socket");
    }
    const bool secured =
        ::setsockopt(fresh, SOL_BLUETOOTH, BT_SECURITY, &security, sizeof security) == 0;
    const int error = errno;
    // In place of the old one under the same number, so that a shutdown from another thread
    // reaches one or the other and the wake-up ends any wait.
    const bool placed = secured && ::dup3(fresh, fd, O_CLOEXEC) >= 0;
    const int placing = errno;
    ::close(fresh);
    if (!secured) {
        fail("cannot set the RFCOMM socket's security level", error);
    }
    if (!placed) {
        fail("cannot create an RFCOMM socket", placing);
    }
}

void RfcommSocket::listen(const bdaddr_t& local) {
    // Channel 0: the kernel takes the first free one when listening starts.
    const sockaddr_rc at = rfcommAddress(local, 0);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at) < 0) {
        fail("cannot bind an RFCOMM socket to the adapter");
    }
    if (::listen(fd, 1) < 0) {
        fail("cannot listen on RFCOMM");
    }
}

int RfcommSocket::channel() const {
    sockaddr_rc at{};
    socklen_t size = sizeof at;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &size) < 0) {
        fail("cannot read the RFCOMM channel");
    }
    if (at.rc_channel == 0) {
        throw IOError("socket is not listening");
    }
    return at.rc_channel;
}

std::unique_ptr<RfcommSocket> RfcommSocket::accept() {
    for (;;) {
        waitFor(POLLIN);
        const int accepted = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (accepted >= 0) {
            return std::make_unique<RfcommSocket>(accepted);
        }
        if (errno != EAGAIN && errno != EINTR && errno != ECONNABORTED) {
            fail("accept on RFCOMM");
        }
    }
}

std::int64_t RfcommSocket::remoteAddress() const {
    sockaddr_rc peer{};
    socklen_t size = sizeof peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) < 0) {
        fail("cannot read the connection's address");
    }
    return fromBdaddr(peer.rc_bdaddr);
}

// After a link drops the kernel reports its error once; later calls would only say "try again"
// while poll keeps saying "hung up". A hang-up without data is therefore the end of the link.
constexpr short kHungUp = POLLHUP | POLLERR;

std::size_t RfcommSocket::receive(std::span<std::uint8_t> buffer) {
    bool hungUp = false;
    for (;;) {
        failIfClosed();
        const ssize_t count = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (count > 0) {
            return static_cast<std::size_t>(count);
        }
        if (count == 0) {
            // A shutdown from close() is not the peer's end of stream.
            failIfClosed();
            return 0;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN) {
            fail("RFCOMM receive");
        }
        if (hungUp) {
            throw IOError("RFCOMM receive: connection lost");
        }
        const short seen = waitFor(POLLIN);
        hungUp = (seen & kHungUp) != 0 && (seen & POLLIN) == 0;
    }
}

void RfcommSocket::sendAll(std::span<const std::uint8_t> bytes) {
    bool hungUp = false;
    while (!bytes.empty()) {
        failIfClosed();
        const ssize_t count = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (count >= 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(count));
            continue;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN) {
            fail("RFCOMM send");
        }
        if (hungUp) {
            throw IOError("RFCOMM send: connection lost");
        }
        const short seen = waitFor(POLLOUT);
        hungUp = (seen & kHungUp) != 0 && (seen & POLLOUT) == 0;
    }
}

void RfcommSocket::shutdown() {
    closed = true;
    const std::uint64_t one = 1;
    // The wake descriptor cannot be full after one write, so this write cannot fail.
    [[maybe_unused]] const ssize_t written = ::write(wake, &one, sizeof one);
    ::shutdown(fd, SHUT_RDWR);
}

}  // namespace flarecast::bluetooth::bluez
