#include "obex/operations/OBEXInputStream.h"

#include <algorithm>
#include <chrono>

#include "bluetooth/io/Errors.h"

namespace flarecast::obex {

namespace {

constexpr auto kReadWait = std::chrono::milliseconds(50);

}  // namespace

bool OBEXInputStream::waitForData(std::unique_lock<std::mutex>& guard) {
    if (closed) {
        throw bluetooth::IOError("Connection closed");
    }
    if (readPos == writePos && endsWhenEmpty) {
        return false;
    }
    while (readPos == writePos) {
        if (closed) {
            throw bluetooth::IOError("Connection closed");
        }
        if (endsWhenEmpty) {
            return false;
        }
        arrived.wait_for(guard, kReadWait);
    }
    return true;
}

int OBEXInputStream::read() {
    std::unique_lock guard(lock);
    if (!waitForData(guard)) {
        return -1;
    }
    return buffer[readPos++];
}

int OBEXInputStream::read(std::span<std::uint8_t> destination) {
    std::unique_lock guard(lock);
    if (!waitForData(guard)) {
        return -1;
    }
    const std::size_t count = std::min(destination.size(), writePos - readPos);
    std::copy_n(buffer.begin() + static_cast<std::ptrdiff_t>(readPos), count, destination.begin());
    readPos += count;
    return static_cast<int>(count);
}

std::size_t OBEXInputStream::available() {
    const std::lock_guard guard(lock);
    return closed ? 0 : writePos - readPos;
}

void OBEXInputStream::newData(std::span<const std::uint8_t> bytes) {
    {
        const std::lock_guard guard(lock);
        // A reader that keeps up leaves nothing unread: start over instead of growing.
        if (readPos == writePos) {
            readPos = 0;
            writePos = 0;
        }
        std::size_t size = buffer.size();
        while (size < writePos + bytes.size()) {
            size *= 2;
        }
        if (size != buffer.size()) {
            bluetooth::Bytes grown(size);
            std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(readPos),
                      buffer.begin() + static_cast<std::ptrdiff_t>(writePos), grown.begin());
            writePos -= readPos;
            readPos = 0;
            buffer = std::move(grown);
        }
        std::copy(bytes.begin(), bytes.end(),
                  buffer.begin() + static_cast<std::ptrdiff_t>(writePos));
        writePos += bytes.size();
    }
    arrived.notify_all();
}

std::size_t OBEXInputStream::capacity() const {
    const std::lock_guard guard(lock);
    return buffer.size();
}

void OBEXInputStream::reset() {
    const std::lock_guard guard(lock);
    readPos = 0;
    writePos = 0;
}

void OBEXInputStream::finish() {
    endsWhenEmpty = true;
    arrived.notify_all();
}

void OBEXInputStream::close() {
    closed = true;
    arrived.notify_all();
}

}  // namespace flarecast::obex
