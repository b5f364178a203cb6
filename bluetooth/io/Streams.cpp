#include "bluetooth/io/Streams.h"

#include <algorithm>

#include "bluetooth/io/Errors.h"

namespace flarecast::bluetooth {

int InputStream::read(std::span<std::uint8_t> buffer) {
    if (buffer.empty()) {
        return 0;
    }
    const int first = read();
    if (first < 0) {
        return -1;
    }
    buffer[0] = static_cast<std::uint8_t>(first);
    std::size_t count = 1;
    while (count < buffer.size() && available() > 0) {
        const int next = read();
        if (next < 0) {
            break;
        }
        buffer[count++] = static_cast<std::uint8_t>(next);
    }
    return static_cast<int>(count);
}

int InputStream::read(std::span<std::uint8_t> buffer, std::size_t offset, std::size_t length) {
    if (offset > buffer.size() || length > buffer.size() - offset) {
        throw IndexError();
    }
    return read(buffer.subspan(offset, length));
}

void OutputStream::write(std::span<const std::uint8_t> bytes, std::size_t offset,
                         std::size_t length) {
    if (offset > bytes.size() || length > bytes.size() - offset) {
        throw IndexError();
    }
    write(bytes.subspan(offset, length));
}

void OutputStream::write(std::span<const std::uint8_t> bytes) {
    for (const std::uint8_t byte : bytes) {
        write(byte);
    }
}

int ByteArrayInputStream::read() {
    return position < bytes.size() ? bytes[position++] : -1;
}

int ByteArrayInputStream::read(std::span<std::uint8_t> buffer) {
    if (buffer.empty()) {
        return 0;
    }
    if (position == bytes.size()) {
        return -1;
    }
    const std::size_t count = std::min(buffer.size(), bytes.size() - position);
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(position), count, buffer.begin());
    position += count;
    return static_cast<int>(count);
}

}  // namespace flarecast::bluetooth
