#pragma once

// clang-format off
#include <winsock2.h>
// clang-format on

#include <cstdint>
#include <mutex>
#include <vector>

namespace flarecast::bluetooth::winsock {

// One WSALookupServiceBegin, its results and its WSALookupServiceEnd, which the destructor
// makes. Failures are error numbers, for the caller to map: error() is 0 until one happens.
class ServiceLookup {
public:
    // Begins at once; Begin itself may take as long as the inquiry or the SDP exchange it runs.
    ServiceLookup(WSAQUERYSETW& restrictions, DWORD flags);
    ~ServiceLookup();
    ServiceLookup(const ServiceLookup&) = delete;
    ServiceLookup& operator=(const ServiceLookup&) = delete;

    // The next result, valid until the next call; null at the end, on a failure and once
    // cancelled.
    const WSAQUERYSETW* next(DWORD flags);
    int error() const { return failure; }

    // From any thread: ends a next() that is waiting, as Windows allows by ending the lookup
    // under it, and every later one.
    void cancel();

private:
    // One WSALookupServiceNextW into the buffer; 0 or its error.
    int nextInto(DWORD flags, DWORD& size);

    HANDLE handle = nullptr;
    int failure = 0;
    std::vector<std::uint64_t> buffer;

    std::mutex lock;
    bool ended = false;
    bool cancelled = false;
    // Inside WSALookupServiceNextW: the only time that cancel() ends the lookup itself.
    bool waiting = false;
};

}  // namespace flarecast::bluetooth::winsock
