#include "bluetooth/io/DataStreams.h"

#include <array>

#include "bluetooth/io/Errors.h"

namespace flarecast::bluetooth {

namespace {

template <std::size_t N>
std::uint64_t readBigEndian(DataInputStream& in) {
    std::array<std::uint8_t, N> bytes{};
    in.readFully(bytes);
    std::uint64_t value = 0;
    for (const std::uint8_t byte : bytes) {
        value = (value << 8) | byte;
    }
    return value;
}

template <std::size_t N>
void writeBigEndian(OutputStream& out, std::uint64_t value) {
    std::array<std::uint8_t, N> bytes{};
    for (std::size_t i = 0; i < N; ++i) {
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * (N - 1 - i)));
    }
    out.write(bytes);
}

}  // namespace

void DataInputStream::readFully(std::span<std::uint8_t> buffer) {
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        const int count = in->read(buffer.subspan(filled));
        if (count < 0) {
            throw IOError("end of stream");
        }
        filled += static_cast<std::size_t>(count);
    }
}

std::uint8_t DataInputStream::readUnsignedByte() {
    return static_cast<std::uint8_t>(readBigEndian<1>(*this));
}

std::uint16_t DataInputStream::readUnsignedShort() {
    return static_cast<std::uint16_t>(readBigEndian<2>(*this));
}

std::int32_t DataInputStream::readInt() {
    return static_cast<std::int32_t>(readBigEndian<4>(*this));
}

std::int64_t DataInputStream::readLong() {
    return static_cast<std::int64_t>(readBigEndian<8>(*this));
}

void DataOutputStream::writeShort(int value) {
    writeBigEndian<2>(*out, static_cast<std::uint64_t>(value));
}

void DataOutputStream::writeInt(std::int32_t value) {
    writeBigEndian<4>(*out, static_cast<std::uint64_t>(value));
}

void DataOutputStream::writeLong(std::int64_t value) {
    writeBigEndian<8>(*out, static_cast<std::uint64_t>(value));
}

}  // namespace flarecast::bluetooth
