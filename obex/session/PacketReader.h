#pragma once

#include <algorithm>
#include <span>

#include "bluetooth/io/Streams.h"

namespace flarecast::obex {

// Exactly buffer.size() bytes; the end of the stream before that, or a failed read, is a
// ConnectionLostError.
void readFully(bluetooth::InputStream& in, std::span<std::uint8_t> buffer);
// The code byte of the next packet; the end of the stream before it, or a failed read, is a
// ConnectionLostError.
std::uint8_t readPacketCode(bluetooth::InputStream& in);

// Whole packets off a stream in as few reads as it allows: each read takes what is there, up to
// room for the largest packet this side announced, and bytes past one packet wait for the next.
// One reader per stream, used by one thread at a time.
class PacketReader {
public:
    explicit PacketReader(std::size_t announcedMaximum)
        : buffer(std::max<std::size_t>(announcedMaximum, 3)) {}

    // The next whole packet, its code and length included. The end of the stream before it, or
    // a failed read, is a ConnectionLostError; a length shorter than the packet's own head is an
    // I/O error.
    bluetooth::Bytes next(bluetooth::InputStream& in);

private:
    // Appends what the stream has now.
    void fill(bluetooth::InputStream& in);

    bluetooth::Bytes buffer;
    // The bytes received and not yet handed out.
    std::size_t start = 0;
    std::size_t end = 0;
};

}  // namespace flarecast::obex
