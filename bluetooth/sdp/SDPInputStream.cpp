#include "bluetooth/sdp/SDPInputStream.h"

#include <algorithm>

#include "bluetooth/io/Errors.h"

namespace flarecast::bluetooth {

namespace {

constexpr std::uint64_t kReadChunk = 64 * 1024;

}  // namespace

std::uint8_t SDPInputStream::readByte() {
    const int byte = in.read();
    if (byte < 0) {
        throw IOError();
    }
    ++pos;
    return static_cast<std::uint8_t>(byte);
}

void SDPInputStream::requireRemaining(std::uint64_t size) const {
    if (inputLength && (pos > *inputLength || size > *inputLength - pos)) {
        throw IOError();
    }
}

std::int64_t SDPInputStream::readLong(int size) {
    requireRemaining(static_cast<std::uint64_t>(size));
    std::uint64_t value = 0;
    for (int i = 0; i < size; ++i) {
        value = (value << 8) | readByte();
    }
    return static_cast<std::int64_t>(value);
}

Bytes SDPInputStream::readBytes(std::uint64_t size) {
    requireRemaining(size);
    Bytes bytes;
    // Grows with what actually arrives, never with what a length field claims.
    while (bytes.size() < size) {
        const std::size_t have = bytes.size();
        const auto chunk = static_cast<std::size_t>(std::min(kReadChunk, size - have));
        bytes.resize(have + chunk);
        std::size_t filled = 0;
        while (filled < chunk) {
            const int count = in.read(std::span(bytes).subspan(have + filled, chunk - filled));
            if (count <= 0) {
                throw IOError();
            }
            filled += static_cast<std::size_t>(count);
            pos += static_cast<std::uint64_t>(count);
        }
    }
    return bytes;
}

std::uint64_t SDPInputStream::readLength(int sizeIndex) {
    switch (sizeIndex) {
        case 5:
            return static_cast<std::uint64_t>(readLong(1));
        case 6:
            return static_cast<std::uint64_t>(readLong(2));
        case 7:
            return static_cast<std::uint64_t>(readLong(4));
        default:
            throw IOError();
    }
}

DataElement::Ptr SDPInputStream::readElement(int enclosingSequences) {
    const std::uint8_t header = readByte();
    const int type = (header >> 3) & 0x1F;
    const int sizeIndex = header & 7;
    switch (type) {
        case 0:
            return DataElement::make(DataElement::NULLTYPE);
        case 1:
            switch (sizeIndex) {
                case 0:
                    return DataElement::make(DataElement::U_INT_1, readLong(1));
                case 1:
                    return DataElement::make(DataElement::U_INT_2, readLong(2));
                case 2:
                    return DataElement::make(DataElement::U_INT_4, readLong(4));
                case 3:
                    return DataElement::make(DataElement::U_INT_8, readBytes(8));
                case 4:
                    return DataElement::make(DataElement::U_INT_16, readBytes(16));
                default:
                    throw IOError();
            }
        case 2:
            switch (sizeIndex) {
                case 0:
                    return DataElement::make(DataElement::INT_1,
                                             std::int64_t{static_cast<std::int8_t>(readLong(1))});
                case 1:
                    return DataElement::make(DataElement::INT_2,
                                             std::int64_t{static_cast<std::int16_t>(readLong(2))});
                case 2:
                    return DataElement::make(DataElement::INT_4,
                                             std::int64_t{static_cast<std::int32_t>(readLong(4))});
                case 3:
                    return DataElement::make(DataElement::INT_8, readLong(8));
                case 4:
                    return DataElement::make(DataElement::INT_16, readBytes(16));
                default:
                    throw IOError();
            }
        case 3:
            switch (sizeIndex) {
                case 1:
                    return DataElement::make(DataElement::UUID, UUID(readLong(2)));
                case 2:
                    return DataElement::make(DataElement::UUID, UUID(readLong(4)));
                case 4: {
                    std::array<std::uint8_t, 16> bytes{};
                    const Bytes read = readBytes(16);
                    std::copy(read.begin(), read.end(), bytes.begin());
                    return DataElement::make(DataElement::UUID, UUID(bytes));
                }
                default:
                    throw IOError();
            }
        case 4:
        case 8: {
            const Bytes text = readBytes(readLength(sizeIndex));
            return DataElement::make(type == 4 ? DataElement::STRING : DataElement::URL,
                                     std::string(text.begin(), text.end()));
        }
        case 5:
            return DataElement::make(readByte() != 0);
        case 6:
            return readSequence(DataElement::DATSEQ, sizeIndex, enclosingSequences);
        case 7:
            return readSequence(DataElement::DATALT, sizeIndex, enclosingSequences);
        default:
            throw IOError();
    }
}

DataElement::Ptr SDPInputStream::readSequence(int valueType, int sizeIndex,
                                              int enclosingSequences) {
    if (enclosingSequences >= kMaxNesting) {
        throw IOError();
    }
    const std::uint64_t length = readLength(sizeIndex);
    requireRemaining(length);
    const std::uint64_t end = pos + length;
    auto sequence = DataElement::make(valueType);
    while (pos < end) {
        sequence->addElement(readElement(enclosingSequences + 1));
    }
    if (pos > end) {
        throw IOError();
    }
    return sequence;
}

}  // namespace flarecast::bluetooth
