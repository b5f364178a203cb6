#pragma once

#include <cstdint>
#include <memory>

#include "bluetooth/io/Streams.h"

namespace flarecast::bluetooth {

// Big-endian typed reads over a byte stream; the end of the stream within a value is an I/O
// error.
class DataInputStream final : public InputStream {
public:
    explicit DataInputStream(std::shared_ptr<InputStream> in) : in(std::move(in)) {}

    int read() override { return in->read(); }
    int read(std::span<std::uint8_t> buffer) override { return in->read(buffer); }
    std::size_t available() override { return in->available(); }
    void close() override { in->close(); }

    void readFully(std::span<std::uint8_t> buffer);
    std::uint8_t readUnsignedByte();
    std::uint16_t readUnsignedShort();
    std::int32_t readInt();
    std::int64_t readLong();

private:
    std::shared_ptr<InputStream> in;
};

// Big-endian typed writes over a byte stream.
class DataOutputStream final : public OutputStream {
public:
    explicit DataOutputStream(std::shared_ptr<OutputStream> out) : out(std::move(out)) {}

    void write(int byte) override { out->write(byte); }
    void write(std::span<const std::uint8_t> bytes) override { out->write(bytes); }
    void flush() override { out->flush(); }
    void close() override { out->close(); }

    void writeShort(int value);
    void writeInt(std::int32_t value);
    void writeLong(std::int64_t value);

private:
    std::shared_ptr<OutputStream> out;
};

}  // namespace flarecast::bluetooth
