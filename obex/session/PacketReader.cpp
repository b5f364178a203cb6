#include "obex/session/PacketReader.h"

#include <string>

#include "bluetooth/io/Errors.h"

namespace flarecast::obex {

using bluetooth::IOError;

void readFully(bluetooth::InputStream& in, std::span<std::uint8_t> buffer) {
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        const int count = in.read(buffer.subspan(filled));
        if (count < 0) {
            throw IOError("End of stream while reading a packet");
        }
        filled += static_cast<std::size_t>(count);
    }
}

std::uint8_t readPacketCode(bluetooth::InputStream& in) {
    std::uint8_t code = 0;
    readFully(in, std::span(&code, 1));
    return code;
}

bluetooth::Bytes readPacketAfter(std::uint8_t code, bluetooth::InputStream& in) {
    bluetooth::Bytes packet(3);
    packet[0] = code;
    readFully(in, std::span(packet).subspan(1));
    const std::size_t length = std::size_t{packet[1]} * 256 + packet[2];
    if (length < 3) {
        throw IOError("Malformed packet length " + std::to_string(length));
    }
    packet.resize(length);
    readFully(in, std::span(packet).subspan(3));
    return packet;
}

}  // namespace flarecast::obex
