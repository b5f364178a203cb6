#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "bluetooth/io/Streams.h"

namespace flarecast::obex {

// The received body of an operation: a growing buffer that received bytes are appended to and
// the application reads from.
class OBEXInputStream final : public bluetooth::InputStream {
public:
    // endsWhenEmpty: the whole object has arrived by the time anyone reads (a client
    // operation), so an empty buffer is the end of the stream rather than a wait.
    explicit OBEXInputStream(bool endsWhenEmpty) : endsWhenEmpty(endsWhenEmpty) {}

    using InputStream::read;
    int read() override;
    int read(std::span<std::uint8_t> buffer) override;
    std::size_t available() override;
    // Marks the operation closed; reads fail from now on.
    void close() override;
    bool isClosed() const { return closed; }

    void newData(std::span<const std::uint8_t> bytes);
    // No more bytes will come: once the buffer is empty, reads report the end of the stream.
    void finish();
    std::size_t capacity() const;
    void reset();

private:
    // Waits until bytes are unread; false at the end of the stream. Throws when closed.
    bool waitForData(std::unique_lock<std::mutex>& guard);

    std::atomic<bool> closed{false};
    std::atomic<bool> endsWhenEmpty;
    mutable std::mutex lock;
    std::condition_variable arrived;
    bluetooth::Bytes buffer = bluetooth::Bytes(100);
    std::size_t readPos = 0;
    std::size_t writePos = 0;
};

}  // namespace flarecast::obex
