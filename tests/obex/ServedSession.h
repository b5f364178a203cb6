#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ScriptedPeer.h"
#include "obex/headers/HeaderCodec.h"
#include "obex/headers/OpCodes.h"
#include "obex/server/ServerSession.h"
#include "tests/common/Inbox.h"

namespace flarecast::obex::testing {

// Keeps what the session handed it and answers as told.
class RecordingHandler final : public flarecast::testing::Inbox {
public:
    int deletes = 0;
    int putPackets = 0;
    std::vector<std::optional<Bytes>> failedUsers;
    Bytes getObject;
    int getCode = ResponseCodes::OBEX_HTTP_OK;

    int onDelete(const HeaderSet&, HeaderSet&) override {
        const std::lock_guard guard(lock);
        ++deletes;
        return ResponseCodes::OBEX_HTTP_OK;
    }
    int onGet(Operation& operation) override {
        operation.openOutputStream()->write(getObject);
        return getCode;
    }
    int onPutPacket(Operation&) override {
        const std::lock_guard guard(lock);
        ++putPackets;
        return OpCode::CONTINUE;
    }
    void onAuthenticationFailure(const std::optional<Bytes>& user) override {
        const std::lock_guard guard(lock);
        failedUsers.push_back(user);
    }
};

// A request packet: code, length, the fields after the length and the headers.
inline Bytes packet(int code, const Bytes& fields, const HeaderSetImpl& headers) {
    Bytes bytes = {static_cast<std::uint8_t>(code), 0, 0};
    bytes.insert(bytes.end(), fields.begin(), fields.end());
    const Bytes encoded = hsToByteArray(&headers);
    bytes.insert(bytes.end(), encoded.begin(), encoded.end());
    bytes[1] = static_cast<std::uint8_t>(bytes.size() >> 8);
    bytes[2] = static_cast<std::uint8_t>(bytes.size());
    return bytes;
}

// A CONNECT that announces 0x2000 as the client's maximum.
inline Bytes connectWith(const HeaderSetImpl& headers) {
    return packet(0x80, {0x10, 0x00, 0x20, 0x00}, headers);
}

inline HeaderSetImpl body(int id, Bytes bytes, std::optional<std::string> name = std::nullopt) {
    HeaderSetImpl headers;
    headers.setHeader(id, std::move(bytes));
    if (name) {
        headers.setHeader(HeaderSet::NAME, *name);
    }
    return headers;
}

// A server session on a scripted client.
struct Served {
    std::shared_ptr<PeerScript> client = std::make_shared<PeerScript>();
    std::shared_ptr<RecordingHandler> handler = std::make_shared<RecordingHandler>();
    std::unique_ptr<ServerSession> session;

    explicit Served(ServerSession::Options options = {}) {
        session = std::make_unique<ServerSession>(std::make_unique<ScriptedConnection>(client),
                                                  handler, std::move(options));
        session->start();
    }
    // The responses once there are count of them.
    std::vector<Bytes> responses(std::size_t count) { return client->sentOnce(count); }
    // The session closed the client's connection.
    bool ends() { return client->closedWithin(); }
};

}  // namespace flarecast::obex::testing
