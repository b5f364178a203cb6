#include "bluetooth/native/bluez/SdpClient.h"

#include <bluetooth/sdp.h>
#include <bluetooth/sdp_lib.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "bluetooth/io/Errors.h"

namespace flarecast::bluetooth::bluez {

namespace {

struct SessionCloser {
    void operator()(sdp_session_t* session) const { sdp_close(session); }
};
using Session = std::unique_ptr<sdp_session_t, SessionCloser>;

struct ListFreer {
    void operator()(sdp_list_t* list) const { sdp_list_free(list, std::free); }
};
using OwnedList = std::unique_ptr<sdp_list_t, ListFreer>;

constexpr auto kBusyPause = std::chrono::milliseconds(100);

// Holds the values that an sdp_list_t of the request points at.
struct BorrowedList {
    ~BorrowedList() { sdp_list_free(list, nullptr); }
    void append(void* value) { list = sdp_list_append(list, value); }
    sdp_list_t* list = nullptr;
};

// Once connected, or an I/O error; nothing when the adapter was busy and it may be tried again.
Session tryConnect(const bdaddr_t& adapter, const bdaddr_t& device,
                   std::chrono::steady_clock::time_point deadline, int& error) {
    errno = 0;
    // libbluetooth refuses its retry flag together with this one; the caller retries instead.
    Session session(sdp_connect(&adapter, &device, SDP_NON_BLOCKING));
    if (!session) {
        error = errno != 0 ? errno : EHOSTUNREACH;
        return nullptr;
    }
    pollfd connecting{sdp_get_socket(session.get()), POLLOUT, 0};
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            throw IOError("device not reachable: no answer");
        }
        const int ready = ::poll(&connecting, 1, static_cast<int>(left.count()));
        if (ready > 0) {
            break;
        }
        if (ready < 0 && errno != EINTR) {
            error = errno;
            return nullptr;
        }
    }
    socklen_t size = sizeof error;
    if (::getsockopt(connecting.fd, SOL_SOCKET, SO_ERROR, &error, &size) < 0) {
        error = errno;
    }
    if (error != 0) {
        return nullptr;
    }
    return session;
}

Session connectTo(const bdaddr_t& adapter, const bdaddr_t& device,
                  std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    Session session;
    for (;;) {
        int error = 0;
        session = tryConnect(adapter, device, deadline, error);
        if (session) {
            break;
        }
        // Busy: another connection to the device is being made or taken down.
        if (error != EBUSY || std::chrono::steady_clock::now() + kBusyPause >= deadline) {
            throw IOError(std::string("device not reachable: ") + std::strerror(error));
        }
        std::this_thread::sleep_for(kBusyPause);
    }
    const int socket = sdp_get_socket(session.get());
    // libbluetooth's requests expect a blocking socket; the time limits bound each wait.
    ::fcntl(socket, F_SETFL, ::fcntl(socket, F_GETFL) & ~O_NONBLOCK);
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(limit);
    timeval bound{};
    bound.tv_sec = seconds.count();
    bound.tv_usec = static_cast<suseconds_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(limit - seconds).count());
    ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
    ::setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof bound);
    return session;
}

// The shortest form of the UUID that means the same, as devices expect to be asked.
uuid_t toSdpUuid(const UUID& uuid) {
    uuid_t result{};
    if (const auto value = uuid.shortValue(); !value) {
        sdp_uuid128_create(&result, uuid.bytes().data());
    } else if (*value <= 0xFFFF) {
        sdp_uuid16_create(&result, static_cast<std::uint16_t>(*value));
    } else {
        sdp_uuid32_create(&result, *value);
    }
    return result;
}

}  // namespace

std::optional<std::vector<int>> SdpClient::serviceHandles(const bdaddr_t& device,
                                                          std::span<const UUID> uuids) const {
    const Session session = connectTo(adapter, device, limit);
    std::vector<uuid_t> searched;
    searched.reserve(uuids.size());
    BorrowedList search;
    for (const UUID& uuid : uuids) {
        searched.push_back(toSdpUuid(uuid));
    }
    for (uuid_t& uuid : searched) {
        search.append(&uuid);
    }
    sdp_list_t* found = nullptr;
    errno = 0;
    const int answered = sdp_service_search_req(session.get(), search.list, 0xFFFF, &found);
    // Freed also when the search failed after a part of the answer.
    const OwnedList handles(found);
    // libbluetooth fails an answer without records too, but then without a system error.
    if (answered < 0 && (errno != 0 || handles)) {
        return std::nullopt;
    }
    std::vector<int> result;
    for (const sdp_list_t* item = handles.get(); item != nullptr; item = item->next) {
        result.push_back(static_cast<int>(*static_cast<const std::uint32_t*>(item->data)));
    }
    return result;
}

Bytes SdpClient::serviceAttributes(const bdaddr_t& device, std::uint32_t handle,
                                   std::span<const int> attrIDs) const {
    const Session session = connectTo(adapter, device, limit);
    std::vector<std::uint16_t> ids;
    ids.reserve(attrIDs.size());
    for (const int id : attrIDs) {
        ids.push_back(static_cast<std::uint16_t>(id));
    }
    BorrowedList wanted;
    for (std::uint16_t& id : ids) {
        wanted.append(&id);
    }
    const std::unique_ptr<sdp_record_t, void (*)(sdp_record_t*)> record(
        sdp_service_attr_req(session.get(), handle, SDP_ATTR_REQ_INDIVIDUAL, wanted.list),
        sdp_record_free);
    if (!record) {
        return {};
    }
    sdp_buf_t encoded{};
    if (sdp_gen_record_pdu(record.get(), &encoded) < 0) {
        return {};
    }
    const std::unique_ptr<std::uint8_t, void (*)(void*)> owned(encoded.data, std::free);
    return Bytes(encoded.data, encoded.data + encoded.data_size);
}

}  // namespace flarecast::bluetooth::bluez
