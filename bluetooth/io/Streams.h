#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace flarecast::bluetooth {

using Bytes = std::vector<std::uint8_t>;

class InputStream {
public:
    virtual ~InputStream() = default;
    // The next byte as 0..255, or -1 at the end of the stream.
    virtual int read() = 0;
    // Up to buffer.size() bytes; the count read, or -1 at the end of the stream. Blocks until at
    // least one byte is there.
    virtual int read(std::span<std::uint8_t> buffer);
    // length bytes at offset of buffer; a range outside the buffer is an index error.
    int read(std::span<std::uint8_t> buffer, std::size_t offset, std::size_t length);
    // Bytes that can be read without blocking.
    virtual std::size_t available() { return 0; }
    virtual void close() {}
};

class OutputStream {
public:
    virtual ~OutputStream() = default;
    // Writes the low 8 bits.
    virtual void write(int byte) = 0;
    virtual void write(std::span<const std::uint8_t> bytes);
    // length bytes at offset of bytes; a range outside them is an index error.
    void write(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t length);
    virtual void flush() {}
    virtual void close() {}
};

class ByteArrayInputStream final : public InputStream {
public:
    explicit ByteArrayInputStream(std::span<const std::uint8_t> bytes) : bytes(bytes) {}
    int read() override;
    int read(std::span<std::uint8_t> buffer) override;
    std::size_t available() override { return bytes.size() - position; }

private:
    std::span<const std::uint8_t> bytes;
    std::size_t position = 0;
};

class ByteArrayOutputStream final : public OutputStream {
public:
    void write(int byte) override { bytes.push_back(static_cast<std::uint8_t>(byte)); }
    void write(std::span<const std::uint8_t> more) override {
        bytes.insert(bytes.end(), more.begin(), more.end());
    }
    const Bytes& toByteArray() const { return bytes; }
    std::size_t size() const { return bytes.size(); }

private:
    Bytes bytes;
};

}  // namespace flarecast::bluetooth
