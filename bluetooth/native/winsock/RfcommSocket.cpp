#include "bluetooth/native/winsock/RfcommSocket.h"

// clang-format off
#include <winsock2.h>
#include <ws2bth.h>
#include <windows.h>
// clang-format on

#include <array>
#include <string>

#include "bluetooth/io/Errors.h"
#include "bluetooth/native/windows/WindowsText.h"
#include "bluetooth/native/winsock/WinsockAddress.h"
#include "bluetooth/native/winsock/WinsockErrors.h"
#include "bluetooth/native/winsock/WinsockQueries.h"

namespace flarecast::bluetooth::winsock {

namespace {

std::string errorText(int error) {
    return socketFailure(error).value_or(windowsErrorText(static_cast<unsigned long>(error)));
}

[[noreturn]] void fail(const std::string& what, int error = ::WSAGetLastError()) {
    throw IOError(what + ": " + errorText(error));
}

SOCKET socketOf(std::uintptr_t handle) {
    return static_cast<SOCKET>(handle);
}

class NetworkEvent {
public:
    NetworkEvent() : event(::WSACreateEvent()) {
        if (event == WSA_INVALID_EVENT) {
            fail("WSACreateEvent");
        }
    }
    ~NetworkEvent() { ::WSACloseEvent(event); }
    NetworkEvent(const NetworkEvent&) = delete;
    NetworkEvent& operator=(const NetworkEvent&) = delete;
    WSAEVENT get() const { return event; }

private:
    const WSAEVENT event;
};

// Network events selected for a wait; the socket goes back to a plain blocking one afterwards,
// as the overlapped calls expect, before the event goes.
class EventSelection {
public:
    EventSelection(SOCKET socket, const NetworkEvent& event, long events, const std::string& what)
        : socket(socket) {
        if (::WSAEventSelect(socket, event.get(), events) != 0) {
            fail(what);
        }
    }
    ~EventSelection() {
        ::WSAEventSelect(socket, nullptr, 0);
        u_long blocking = 0;
        ::ioctlsocket(socket, FIONBIO, &blocking);
    }
    EventSelection(const EventSelection&) = delete;
    EventSelection& operator=(const EventSelection&) = delete;

private:
    const SOCKET socket;
};

HANDLE newStopEvent() {
    return ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

bool isSet(HANDLE event) {
    return ::WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

// One overlapped receive or send, ended early by stopped. The count moved, or nothing when
// stopped.
template <typename Start>
std::optional<DWORD> overlapped(SOCKET socket, HANDLE stopped, const std::string& what,
                                Start start) {
    if (isSet(stopped)) {
        return std::nullopt;
    }
    const NetworkEvent done;
    WSAOVERLAPPED operation{};
    operation.hEvent = done.get();
    DWORD count = 0;
    DWORD flags = 0;
    if (start(&operation, &count, &flags) == 0) {
        return count;
    }
    if (const int error = ::WSAGetLastError(); error != WSA_IO_PENDING) {
        if (isSet(stopped)) {
            return std::nullopt;
        }
        fail(what, error);
    }
    const std::array<HANDLE, 2> events{done.get(), stopped};
    const DWORD woken = ::WaitForMultipleObjects(2, events.data(), FALSE, INFINITE);
    if (woken != WAIT_OBJECT_0) {
        ::CancelIoEx(reinterpret_cast<HANDLE>(socket), &operation);
    }
    // The operation must be over before operation and the buffer go out of scope.
    const BOOL finished = ::WSAGetOverlappedResult(socket, &operation, &count, TRUE, &flags);
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

void setOption(SOCKET socket, unsigned long option) {
    const ULONG on = TRUE;
    if (::setsockopt(socket, SOL_RFCOMM, static_cast<int>(option),
                     reinterpret_cast<const char*>(&on), sizeof on) != 0) {
        fail("cannot set the RFCOMM socket's security level");
    }
}

}  // namespace

RfcommSocket::RfcommSocket(bool authenticate, bool encrypt) {
    const SOCKET socket = ::WSASocketW(AF_BTH, SOCK_STREAM, BTHPROTO_RFCOMM, nullptr, 0,
                                       WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (socket == INVALID_SOCKET) {
        fail("cannot create an RFCOMM socket");
    }
    stopped = newStopEvent();
    if (stopped == nullptr) {
        const DWORD error = ::GetLastError();
        ::closesocket(socket);
        throw IOError("cannot create an RFCOMM socket: " + windowsErrorText(error));
    }
    handle = socket;
    try {
        // Encryption needs an authenticated link.
        if (authenticate || encrypt) {
            setOption(socket, SO_BTH_AUTHENTICATE);
        }
        if (encrypt) {
            setOption(socket, SO_BTH_ENCRYPT);
        }
    } catch (const IOError&) {
        ::closesocket(socket);
        ::CloseHandle(stopped);
        throw;
    }
}

RfcommSocket::RfcommSocket(std::uintptr_t accepted, std::int64_t peer)
    : handle(accepted), stopped(newStopEvent()), peer(peer) {
    if (stopped == nullptr) {
        const DWORD error = ::GetLastError();
        ::closesocket(socketOf(accepted));
        throw IOError("cannot take an RFCOMM connection: " + windowsErrorText(error));
    }
}

RfcommSocket::~RfcommSocket() {
    ::closesocket(socketOf(handle));
    ::CloseHandle(stopped);
}

void RfcommSocket::failIfClosed() const {
    if (closed) {
        throw IOError("socket closed");
    }
}

void RfcommSocket::connect(std::int64_t address, int channel, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    failIfClosed();
    const std::string what = "cannot connect to channel " + std::to_string(channel);
    const SOCKET socket = socketOf(handle);
    int error = 0;
    {
        const NetworkEvent ready;
        const EventSelection selection(socket, ready, FD_CONNECT, what);
        const SOCKADDR_BTH to = rfcommAddress(address, static_cast<ULONG>(channel));
        if (::connect(socket, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
            error = ::WSAGetLastError();
        }
        if (error == WSAEWOULDBLOCK) {
            error = waitConnected(ready.get(), deadline);
        }
    }
    if (error != 0) {
        throw IOError(
            what + ": " +
            connectFailure(error).value_or(windowsErrorText(static_cast<unsigned long>(error))));
    }
}

int RfcommSocket::waitConnected(void* ready, std::chrono::steady_clock::time_point deadline) {
    const std::array<HANDLE, 2> events{ready, stopped};
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            throw IOError("no answer from the device");
        }
        const DWORD woken =
            ::WaitForMultipleObjects(2, events.data(), FALSE, static_cast<DWORD>(left.count()));
        if (woken == WAIT_OBJECT_0 + 1) {
            throw IOError("socket closed");
        }
        if (woken == WAIT_TIMEOUT) {
            continue;
        }
        if (woken != WAIT_OBJECT_0) {
            throw IOError("waiting on an RFCOMM socket: " + windowsErrorText(::GetLastError()));
        }
        WSANETWORKEVENTS seen{};
        if (::WSAEnumNetworkEvents(socketOf(handle), ready, &seen) != 0) {
            return ::WSAGetLastError();
        }
        if ((seen.lNetworkEvents & FD_CONNECT) != 0) {
            return seen.iErrorCode[FD_CONNECT_BIT];
        }
    }
}

void RfcommSocket::listen() {
    const SOCKET socket = socketOf(handle);
    // Any channel: Windows takes the first free one.
    const SOCKADDR_BTH at = rfcommAddress(0, BT_PORT_ANY);
    if (::bind(socket, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0) {
        fail("cannot bind an RFCOMM socket to the adapter");
    }
    if (::listen(socket, 1) != 0) {
        fail("cannot listen on RFCOMM");
    }
}

int RfcommSocket::channel() const {
    SOCKADDR_BTH at{};
    int size = sizeof at;
    if (::getsockname(socketOf(handle), reinterpret_cast<sockaddr*>(&at), &size) != 0) {
        // An unbound socket has no name yet.
        if (const int error = ::WSAGetLastError(); error != WSAEINVAL) {
            fail("cannot read the RFCOMM channel", error);
        }
        throw IOError("socket is not listening");
    }
    if (at.port == 0 || at.port == BT_PORT_ANY) {
        throw IOError("socket is not listening");
    }
    return static_cast<int>(at.port);
}

std::unique_ptr<RfcommSocket> RfcommSocket::accept() {
    failIfClosed();
    const SOCKET socket = socketOf(handle);
    const NetworkEvent ready;
    const EventSelection selection(socket, ready, FD_ACCEPT, "accept on RFCOMM");
    const std::array<HANDLE, 2> events{ready.get(), stopped};
    for (;;) {
        if (isSet(stopped)) {
            throw IOError("socket closed");
        }
        SOCKADDR_BTH from{};
        int size = sizeof from;
        const SOCKET accepted = ::accept(socket, reinterpret_cast<sockaddr*>(&from), &size);
        if (accepted != INVALID_SOCKET) {
            // It inherits the listener's event selection and non-blocking mode; both go.
            ::WSAEventSelect(accepted, nullptr, 0);
            u_long blocking = 0;
            ::ioctlsocket(accepted, FIONBIO, &blocking);
            return std::make_unique<RfcommSocket>(accepted, fromBthAddr(from.btAddr));
        }
        if (const int error = ::WSAGetLastError();
            error != WSAEWOULDBLOCK && error != WSAECONNRESET) {
            if (isSet(stopped)) {
                throw IOError("socket closed");
            }
            fail("accept on RFCOMM", error);
        }
        ::WaitForMultipleObjects(2, events.data(), FALSE, INFINITE);
        ::WSAResetEvent(ready.get());
    }
}

std::size_t RfcommSocket::receive(std::span<std::uint8_t> buffer) {
    failIfClosed();
    const SOCKET socket = socketOf(handle);
    WSABUF chunk{static_cast<ULONG>(buffer.size() < (1U << 30) ? buffer.size() : (1U << 30)),
                 reinterpret_cast<char*>(buffer.data())};
    const auto count = overlapped(
        socket, stopped, "RFCOMM receive", [&](WSAOVERLAPPED* operation, DWORD* got, DWORD* flags) {
            return ::WSARecv(socket, &chunk, 1, got, flags, operation, nullptr);
        });
    if (!count) {
        throw IOError("socket closed");
    }
    if (*count == 0) {
        // A shutdown from close() is not the peer's end of stream.
        failIfClosed();
    }
    return *count;
}

void RfcommSocket::sendAll(std::span<const std::uint8_t> bytes) {
    const SOCKET socket = socketOf(handle);
    while (!bytes.empty()) {
        failIfClosed();
        WSABUF chunk{static_cast<ULONG>(bytes.size() < (1U << 30) ? bytes.size() : (1U << 30)),
                     const_cast<char*>(reinterpret_cast<const char*>(bytes.data()))};
        const auto count = overlapped(
            socket, stopped, "RFCOMM send", [&](WSAOVERLAPPED* operation, DWORD* sent, DWORD*) {
                return ::WSASend(socket, &chunk, 1, sent, 0, operation, nullptr);
            });
        if (!count) {
            throw IOError("socket closed");
        }
        if (*count == 0) {
            throw IOError("RFCOMM send: connection lost");
        }
        bytes = bytes.subspan(*count);
    }
}

void RfcommSocket::shutdown() {
    closed = true;
    ::SetEvent(stopped);
    ::shutdown(socketOf(handle), SD_BOTH);
}

}  // namespace flarecast::bluetooth::winsock
