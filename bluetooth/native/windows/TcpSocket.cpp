#include "bluetooth/native/TcpSocket.h"

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <utility>

#include "bluetooth/io/Errors.h"
#include "bluetooth/native/windows/WindowsText.h"

// Every open SOCKET holds one reference on Winsock (WSAStartup), released as it closes; the
// library is thus up exactly while a socket is. Waits are overlapped operations or network
// events raced against the socket's `stopped` event, so shutdown() ends them at once.

namespace flarecast::bluetooth {

namespace {

[[noreturn]] void fail(const std::string& what, int code = ::WSAGetLastError()) {
    throw IOError(what + ": " + windowsErrorText(static_cast<unsigned long>(code)));
}

void startWinsock() {
    WSADATA data{};
    if (const int error = ::WSAStartup(MAKEWORD(2, 2), &data); error != 0) {
        fail("cannot start Winsock", error);
    }
}

class WinsockUse {
public:
    WinsockUse() { startWinsock(); }
    ~WinsockUse() { ::WSACleanup(); }
    WinsockUse(const WinsockUse&) = delete;
    WinsockUse& operator=(const WinsockUse&) = delete;
};

class Event {
public:
    Event() : handle(::WSACreateEvent()) {
        if (handle == WSA_INVALID_EVENT) {
            fail("WSACreateEvent");
        }
    }
    ~Event() { ::WSACloseEvent(handle); }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    WSAEVENT get() const { return handle; }

private:
    const WSAEVENT handle;
};

// A new socket with its stop event, or an error; Winsock is held once the socket exists.
std::pair<SOCKET, HANDLE> openSocket(int family, int type, int protocol) {
    startWinsock();
    const SOCKET handle = ::WSASocketW(family, type, protocol, nullptr, 0,
                                       WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (handle == INVALID_SOCKET) {
        const int error = ::WSAGetLastError();
        ::WSACleanup();
        fail("socket", error);
    }
    const HANDLE stopped = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (stopped == nullptr) {
        const DWORD error = ::GetLastError();
        ::closesocket(handle);
        ::WSACleanup();
        throw IOError("CreateEvent: " + windowsErrorText(error));
    }
    return {handle, stopped};
}

void noDelay(SOCKET handle) {
    const BOOL on = TRUE;
    ::setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

// How long an accept waits for FD_ACCEPT before it tries again.
constexpr DWORD kAcceptLookMs = 100;

bool isSet(HANDLE event) {
    return ::WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

// One overlapped receive or send, ended early by `stopped`. The count moved, or nothing when
// stopped.
template <typename Start>
std::optional<DWORD> overlapped(SOCKET handle, HANDLE stopped, const char* what, Start start) {
    if (isSet(stopped)) {
        return std::nullopt;
    }
    const Event done;
    WSAOVERLAPPED operation{};
    operation.hEvent = done.get();
    DWORD count = 0;
    DWORD flags = 0;
    if (start(&operation, &count, &flags) == 0) {
        return count;
    }
    if (const int error = ::WSAGetLastError(); error != WSA_IO_PENDING) {
        // A shutdown() that came after the check above fails the call with WSAESHUTDOWN.
        if (isSet(stopped)) {
            return std::nullopt;
        }
        fail(what, error);
    }
    const std::array<HANDLE, 2> events{done.get(), stopped};
    const DWORD woken = ::WaitForMultipleObjects(2, events.data(), FALSE, INFINITE);
    if (woken != WAIT_OBJECT_0) {
        ::CancelIoEx(reinterpret_cast<HANDLE>(handle), &operation);
    }
    // The operation must be over before `operation` and the buffer go out of scope.
    const BOOL finished = ::WSAGetOverlappedResult(handle, &operation, &count, TRUE, &flags);
    if (woken != WAIT_OBJECT_0 && (!finished || count == 0)) {
        return std::nullopt;
    }
    if (!finished) {
        const int error = ::WSAGetLastError();
        if (isSet(stopped)) {
            return std::nullopt;
        }
        fail(what, error);
    }
    return count;
}

}  // namespace

TcpSocket::~TcpSocket() {
    if (handle != kNoHandle) {
        ::closesocket(handle);
        ::CloseHandle(stopped);
        ::WSACleanup();
    }
}

TcpSocket::TcpSocket(TcpSocket&& other) noexcept
    : handle(std::exchange(other.handle, kNoHandle)),
      stopped(std::exchange(other.stopped, nullptr)) {}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
    if (this != &other) {
        TcpSocket old(std::move(*this));
        handle = std::exchange(other.handle, kNoHandle);
        stopped = std::exchange(other.stopped, nullptr);
    }
    return *this;
}

bool TcpSocket::isOpen() const {
    return handle != kNoHandle;
}

TcpSocket TcpSocket::connectTo(const std::string& host, std::uint16_t port) {
    const WinsockUse winsock;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int resolved = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
        resolved != 0) {
        throw IOError("cannot resolve " + host + ": " +
                      windowsErrorText(static_cast<unsigned long>(resolved)));
    }
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owned(found, &::freeaddrinfo);
    std::string lastError = "no address for " + host;
    for (addrinfo* candidate = found; candidate != nullptr; candidate = candidate->ai_next) {
        std::pair<SOCKET, HANDLE> opened;
        try {
            opened =
                openSocket(candidate->ai_family, candidate->ai_socktype, candidate->ai_protocol);
        } catch (const IOError& error) {
            // A family that cannot be opened here (IPv6 turned off) leaves the other addresses.
            lastError = error.what();
            continue;
        }
        const SOCKET raw = opened.first;
        TcpSocket attempt(raw, opened.second);
        if (::connect(raw, candidate->ai_addr, static_cast<int>(candidate->ai_addrlen)) == 0) {
            noDelay(raw);
            return attempt;
        }
        lastError = windowsErrorText(static_cast<unsigned long>(::WSAGetLastError()));
    }
    throw IOError("cannot connect to " + host + ":" + service + ": " + lastError);
}

TcpSocket TcpSocket::listenOn(const std::string& host, std::uint16_t port) {
    const auto [raw, stopped] = openSocket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    TcpSocket listening(raw, stopped);
    // No option here: Windows' plain bind already takes a port that earlier connections still
    // hold, as SO_REUSEADDR lets Linux do, whereas SO_EXCLUSIVEADDRUSE would keep a server that
    // starts again on a fixed port out until those connections are gone.
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = ::htons(port);
    if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
        throw IOError("not an IPv4 address: " + host);
    }
    if (::bind(raw, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        fail("cannot listen on " + host + ":" + std::to_string(port));
    }
    if (::listen(raw, 16) != 0) {
        fail("listen");
    }
    return listening;
}

TcpSocket TcpSocket::accept() {
    const Event ready;
    if (::WSAEventSelect(handle, ready.get(), FD_ACCEPT) != 0) {
        fail("accept");
    }
    for (;;) {
        if (isSet(stopped)) {
            throw IOError("accept: the socket was shut down");
        }
        startWinsock();
        const SOCKET accepted = ::accept(handle, nullptr, nullptr);
        if (accepted != INVALID_SOCKET) {
            // An accepted socket inherits the listener's event selection and its non-blocking
            // mode; it is used with overlapped calls only, so both go.
            ::WSAEventSelect(accepted, nullptr, 0);
            u_long blocking = 0;
            ::ioctlsocket(accepted, FIONBIO, &blocking);
            const HANDLE acceptedStopped = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
            if (acceptedStopped == nullptr) {
                ::closesocket(accepted);
                ::WSACleanup();
                throw IOError("CreateEvent: " + windowsErrorText(::GetLastError()));
            }
            noDelay(accepted);
            return TcpSocket(accepted, acceptedStopped);
        }
        const int error = ::WSAGetLastError();
        ::WSACleanup();
        if (error != WSAEWOULDBLOCK) {
            fail("accept", error);
        }
        // Wine sometimes leaves FD_ACCEPT unsignalled for a connection that comes after a failed
        // accept, and the listener would wait for good while clients queue: the wait also ends
        // every kAcceptLookMs.
        const std::array<HANDLE, 2> events{ready.get(), stopped};
        ::WaitForMultipleObjects(2, events.data(), FALSE, kAcceptLookMs);
        ::WSAResetEvent(ready.get());
    }
}

std::size_t TcpSocket::receive(std::span<std::uint8_t> buffer) {
    WSABUF chunk{static_cast<ULONG>(std::min<std::size_t>(buffer.size(), 1U << 30)),
                 reinterpret_cast<char*>(buffer.data())};
    const auto count = overlapped(
        handle, stopped, "recv", [&](WSAOVERLAPPED* operation, DWORD* got, DWORD* flags) {
            return ::WSARecv(handle, &chunk, 1, got, flags, operation, nullptr);
        });
    return count.value_or(0);
}

void TcpSocket::sendAll(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        WSABUF chunk{static_cast<ULONG>(std::min<std::size_t>(bytes.size(), 1U << 30)),
                     const_cast<char*>(reinterpret_cast<const char*>(bytes.data()))};
        const auto count =
            overlapped(handle, stopped, "send", [&](WSAOVERLAPPED* operation, DWORD* sent, DWORD*) {
                return ::WSASend(handle, &chunk, 1, sent, 0, operation, nullptr);
            });
        if (!count) {
            throw IOError("send: the socket was shut down");
        }
        bytes = bytes.subspan(*count);
    }
}

void TcpSocket::shutdown() {
    if (handle != kNoHandle) {
        // First, so that a call that the shutdown fails already sees why.
        ::SetEvent(stopped);
        ::shutdown(handle, SD_BOTH);
    }
}

std::uint16_t TcpSocket::localPort() const {
    sockaddr_storage address{};
    int length = sizeof address;
    if (::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        fail("getsockname");
    }
    if (address.ss_family == AF_INET6) {
        return ::ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
    }
    return ::ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
}

}  // namespace flarecast::bluetooth
