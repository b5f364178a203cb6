#include "obex/server/ServerCommandHandler.h"

#include <string>

#include "bluetooth/io/Errors.h"
#include "obex/headers/HeaderCodec.h"
#include "obex/session/PacketReader.h"

namespace flarecast::obex {

namespace {

// Until the client says otherwise, the OBEX minimum.
constexpr int kMinimumPacketLength = 255;
constexpr std::size_t kLongestPacket = 0xFFFF;

}  // namespace

ServerCommandHandler::ServerCommandHandler(std::unique_ptr<bluetooth::StreamConnection> connection,
                                           Authenticator* authenticator,
                                           std::chrono::milliseconds packetTimeout)
    : connection(std::move(connection)),
      authenticator(authenticator),
      packetTimeout(packetTimeout),
      mtu(kMinimumPacketLength) {
    out = this->connection->openOutputStream();
    in = this->connection->openInputStream();
}

ServerCommandHandler::~ServerCommandHandler() {
    try {
        close();
    } catch (const bluetooth::Error&) {
    }
}

void ServerCommandHandler::startTiming(std::shared_ptr<Deadlines> deadlines) {
    timer.emplace(std::move(deadlines), [this] {
        try {
            close();
        } catch (const bluetooth::Error&) {
        }
    });
}

void ServerCommandHandler::stopTiming() {
    timer.reset();
}

void ServerCommandHandler::close() {
    const std::lock_guard guard(lock);
    if (connection) {
        in->close();
        out->close();
        connection->close();
    }
}

void ServerCommandHandler::release() {
    std::unique_ptr<bluetooth::StreamConnection> gone;
    std::shared_ptr<bluetooth::InputStream> input;
    std::shared_ptr<bluetooth::OutputStream> output;
    try {
        close();
    } catch (const bluetooth::Error&) {
    }
    const std::lock_guard guard(lock);
    gone = std::move(connection);
    input = std::move(in);
    output = std::move(out);
}

void ServerCommandHandler::sendCommand(int code, std::span<const std::uint8_t> data) {
    const std::size_t length = data.size() + 3;
    if (length > kLongestPacket) {
        throw bluetooth::IOError("Packet too long");
    }
    if (!out) {
        throw bluetooth::IOError("Connection closed");
    }
    Bytes packet;
    packet.reserve(length);
    packet.push_back(static_cast<std::uint8_t>(code));
    packet.push_back(static_cast<std::uint8_t>(length >> 8));
    packet.push_back(static_cast<std::uint8_t>(length));
    packet.insert(packet.end(), data.begin(), data.end());
    within(packetTimeout, [this, &packet] {
        out->write(packet);
        out->flush();
        return true;
    });
}

ServerCommandHandler::Request ServerCommandHandler::receiveRequest(
    std::chrono::milliseconds idleLimit, const std::function<std::size_t(std::uint8_t)>& limitOf) {
    if (!in) {
        throw bluetooth::IOError("Connection closed");
    }
    const std::uint8_t code = within(idleLimit, [this] { return readPacketCode(*in); });
    return within(packetTimeout, [&] {
        Request request;
        request.packet = {code, 0, 0};
        readFully(*in, std::span(request.packet).subspan(1));
        const std::size_t length = std::size_t{request.packet[1]} * 256 + request.packet[2];
        if (length < 3) {
            throw bluetooth::IOError("Malformed packet length " + std::to_string(length));
        }
        // Decided on the length alone: what the client sends beyond the limit is never read.
        if (length > limitOf(code)) {
            request.tooLong = true;
            return request;
        }
        request.packet.resize(length);
        readFully(*in, std::span(request.packet).subspan(3));
        return request;
    });
}

Bytes ServerCommandHandler::receiveCommand() {
    return receiveRequest(packetTimeout, [](std::uint8_t) { return kLongestPacket; }).packet;
}

Bytes ServerCommandHandler::encodeHeaders(const HeaderSet* headers) {
    issuedNonces.issuedIn(headers);
    return hsToByteArray(headers);
}

void ServerCommandHandler::handleAuthResponse(std::span<const std::uint8_t> response) {
    if (authenticator == nullptr) {
        throw bluetooth::IOError("Authentication failure");
    }
    obex::handleAuthResponse(response, *authenticator, issuedNonces);
}

}  // namespace flarecast::obex
