#include "bluetooth/native/winsock/ServiceLookup.h"

#include <ws2bth.h>

#include "bluetooth/native/winsock/WinsockErrors.h"

namespace flarecast::bluetooth::winsock {

namespace {

constexpr std::size_t kFirstBuffer = 4096;
// A device's name or a record is far smaller; more is not a result to trust.
constexpr DWORD kLargestResult = 1U << 24;

}  // namespace

ServiceLookup::ServiceLookup(WSAQUERYSETW& restrictions, DWORD flags)
    : buffer(kFirstBuffer / sizeof(std::uint64_t)) {
    if (::WSALookupServiceBeginW(&restrictions, flags, &handle) != 0) {
        failure = ::WSAGetLastError();
        ended = true;
    }
}

ServiceLookup::~ServiceLookup() {
    const std::lock_guard guard(lock);
    if (!ended) {
        ::WSALookupServiceEnd(handle);
    }
}

int ServiceLookup::nextInto(DWORD flags, DWORD& size) {
    {
        const std::lock_guard guard(lock);
        if (ended || cancelled) {
            return 0;
        }
        waiting = true;
    }
    auto* const results = reinterpret_cast<WSAQUERYSETW*>(buffer.data());
    *results = WSAQUERYSETW{};
    results->dwSize = sizeof *results;
    results->dwNameSpace = NS_BTH;
    const int error =
        ::WSALookupServiceNextW(handle, flags, &size, results) == 0 ? 0 : ::WSAGetLastError();
    const std::lock_guard guard(lock);
    waiting = false;
    return error;
}

const WSAQUERYSETW* ServiceLookup::next(DWORD flags) {
    if (failure != 0) {
        return nullptr;
    }
    for (;;) {
        DWORD size = static_cast<DWORD>(buffer.size() * sizeof(std::uint64_t));
        const int error = nextInto(flags, size);
        {
            const std::lock_guard guard(lock);
            if (ended || cancelled) {
                return nullptr;
            }
        }
        if (error == 0) {
            return reinterpret_cast<const WSAQUERYSETW*>(buffer.data());
        }
        if (noMoreResults(error)) {
            return nullptr;
        }
        const DWORD had = static_cast<DWORD>(buffer.size() * sizeof(std::uint64_t));
        if (error == WSAEFAULT && size > had && size <= kLargestResult) {
            buffer.resize((size + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t));
            continue;
        }
        failure = error;
        return nullptr;
    }
}

void ServiceLookup::cancel() {
    const std::lock_guard guard(lock);
    cancelled = true;
    if (waiting && !ended) {
        ::WSALookupServiceEnd(handle);
        ended = true;
    }
}

}  // namespace flarecast::bluetooth::winsock
