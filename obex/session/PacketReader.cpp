#include "obex/session/PacketReader.h"

#include <algorithm>
#include <string>

#include "bluetooth/io/Errors.h"
#include "obex/Errors.h"

namespace flarecast::obex {

using bluetooth::IOError;

namespace {

constexpr std::size_t kHead = 3;

// What the stream has now. Its end, or a failure of its own, ends the packet for good: the rest
// of it is gone with the connection.
std::size_t readSome(bluetooth::InputStream& in, std::span<std::uint8_t> buffer) {
    int count = 0;
    try {
        count = in.read(buffer);
    } catch (const IOError& error) {
        throw ConnectionLostError(error.getMessage());
    }
    if (count < 0) {
        throw ConnectionLostError("End of stream while reading a packet");
    }
    return static_cast<std::size_t>(count);
}

}  // namespace

void readFully(bluetooth::InputStream& in, std::span<std::uint8_t> buffer) {
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        filled += readSome(in, buffer.subspan(filled));
    }
}

std::uint8_t readPacketCode(bluetooth::InputStream& in) {
    std::uint8_t code = 0;
    readFully(in, std::span(&code, 1));
    return code;
}

void PacketReader::fill(bluetooth::InputStream& in) {
    end += readSome(in, std::span(buffer).subspan(end));
}

bluetooth::Bytes PacketReader::next(bluetooth::InputStream& in) {
    if (start > 0) {
        std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(start),
                  buffer.begin() + static_cast<std::ptrdiff_t>(end), buffer.begin());
        end -= start;
        start = 0;
    }
    while (end < kHead) {
        fill(in);
    }
    const std::size_t length = std::size_t{buffer[1]} * 256 + buffer[2];
    if (length < kHead) {
        // What follows cannot be told apart from the broken packet.
        end = 0;
        throw IOError("Malformed packet length " + std::to_string(length));
    }
    // A peer may send more than we announced; the packet is still taken whole.
    if (length > buffer.size()) {
        buffer.resize(length);
    }
    while (end < length) {
        fill(in);
    }
    bluetooth::Bytes packet(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
    start = length;
    if (start == end) {
        start = end = 0;
    }
    return packet;
}

}  // namespace flarecast::obex
