#include "bluetooth/native/TcpSocket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "bluetooth/io/Errors.h"

namespace flarecast::bluetooth {

namespace {

[[noreturn]] void fail(const std::string& what) {
    throw IOError(what + ": " + std::strerror(errno));
}

}  // namespace

TcpSocket::~TcpSocket() {
    if (fd >= 0) {
        ::close(fd);
    }
}

TcpSocket::TcpSocket(TcpSocket&& other) noexcept : fd(std::exchange(other.fd, -1)) {}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
    if (this != &other) {
        if (fd >= 0) {
            ::close(fd);
        }
        fd = std::exchange(other.fd, -1);
    }
    return *this;
}

TcpSocket TcpSocket::connectTo(const std::string& host, std::uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int error = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
        error != 0) {
        throw IOError("cannot resolve " + host + ": " + ::gai_strerror(error));
    }
    std::string lastError = "no address for " + host;
    TcpSocket connected;
    for (addrinfo* candidate = found; candidate != nullptr; candidate = candidate->ai_next) {
        TcpSocket attempt(::socket(candidate->ai_family, candidate->ai_socktype | SOCK_CLOEXEC,
                                   candidate->ai_protocol));
        if (attempt.fd < 0) {
            lastError = std::strerror(errno);
            continue;
        }
        int result = 0;
        do {
            result = ::connect(attempt.fd, candidate->ai_addr, candidate->ai_addrlen);
        } while (result < 0 && errno == EINTR);
        if (result == 0) {
            const int on = 1;
            ::setsockopt(attempt.fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            connected = std::move(attempt);
            break;
        }
        lastError = std::strerror(errno);
    }
    ::freeaddrinfo(found);
    if (!connected.isOpen()) {
        throw IOError("cannot connect to " + host + ":" + service + ": " + lastError);
    }
    return connected;
}

TcpSocket TcpSocket::listenOn(const std::string& host, std::uint16_t port) {
    TcpSocket listening(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (listening.fd < 0) {
        fail("socket");
    }
    const int on = 1;
    ::setsockopt(listening.fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
        throw IOError("not an IPv4 address: " + host);
    }
    if (::bind(listening.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0) {
        fail("cannot listen on " + host + ":" + std::to_string(port));
    }
    if (::listen(listening.fd, 16) < 0) {
        fail("listen");
    }
    return listening;
}

TcpSocket TcpSocket::accept() {
    int accepted = -1;
    do {
        accepted = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
    } while (accepted < 0 && errno == EINTR);
    if (accepted < 0) {
        fail("accept");
    }
    const int on = 1;
    ::setsockopt(accepted, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return TcpSocket(accepted);
}

std::size_t TcpSocket::receive(std::span<std::uint8_t> buffer) {
    ssize_t count = 0;
    do {
        count = ::recv(fd, buffer.data(), buffer.size(), 0);
    } while (count < 0 && errno == EINTR);
    if (count < 0) {
        fail("recv");
    }
    return static_cast<std::size_t>(count);
}

void TcpSocket::sendAll(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t count = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail("send");
        }
        bytes = bytes.subspan(static_cast<std::size_t>(count));
    }
}

bool TcpSocket::isOpen() const {
    return fd >= 0;
}

void TcpSocket::shutdown() {
    if (fd >= 0) {
        ::shutdown(fd, SHUT_RDWR);
    }
}

std::uint16_t TcpSocket::localPort() const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) < 0) {
        fail("getsockname");
    }
    if (address.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
    }
    return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
}

}  // namespace flarecast::bluetooth
