#include "bluetooth/sdp/SDPInputStream.h"

#include <algorithm>
#include <array>

#include "bluetooth/io/Errors.h"

namespace flarecast::bluetooth {

namespace {

constexpr std::uint64_t kReadChunk = 64 * 1024;

}  // namespace

int SDPInputStream::read() {
    if (in != nullptr) {
        return in->read();
    }
    return cursor < memory.size() ? memory[cursor++] : -1;
}

void SDPInputStream::readRaw(std::uint8_t* destination, std::size_t count) {
    if (in == nullptr) {
        if (count > memory.size() - cursor) {
            throw IOError();
        }
        // Headers and numbers are a few bytes: a plain loop beats a call to memmove.
        const std::uint8_t* const source = memory.data() + cursor;
        if (count <= 8) {
            for (std::size_t i = 0; i < count; ++i) {
                destination[i] = source[i];
            }
        } else {
            std::copy_n(source, count, destination);
        }
        cursor += count;
    } else {
        for (std::size_t filled = 0; filled < count;) {
            const int got = in->read({destination + filled, count - filled});
            if (got <= 0) {
                throw IOError();
            }
            filled += static_cast<std::size_t>(got);
        }
    }
    pos += count;
}

std::uint8_t SDPInputStream::readByte() {
    std::uint8_t byte = 0;
    readRaw(&byte, 1);
    return byte;
}

void SDPInputStream::requireRemaining(std::uint64_t size) const {
    if (inputLength && (pos > *inputLength || size > *inputLength - pos)) {
        throw IOError();
    }
}

std::int64_t SDPInputStream::readLong(int size) {
    requireRemaining(static_cast<std::uint64_t>(size));
    std::array<std::uint8_t, 8> bytes{};
    const auto wanted = static_cast<std::size_t>(std::clamp(size, 0, 8));
    readRaw(bytes.data(), wanted);
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < wanted; ++i) {
        value = (value << 8) | bytes[i];
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
        readRaw(bytes.data() + have, chunk);
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

template <typename Visit>
void SDPInputStream::readChildren(int sizeIndex, int enclosingSequences, Visit&& visit) {
    if (enclosingSequences >= kMaxNesting) {
        throw IOError();
    }
    const std::uint64_t length = readLength(sizeIndex);
    requireRemaining(length);
    const std::uint64_t end = pos + length;
    while (pos < end) {
        visit(readElement(enclosingSequences + 1));
    }
    if (pos > end) {
        throw IOError();
    }
}

DataElement::Ptr SDPInputStream::readSequence(int valueType, int sizeIndex,
                                              int enclosingSequences) {
    ChildList children;
    readChildren(sizeIndex, enclosingSequences,
                 [&children](DataElement::Ptr child) { children.push_back(std::move(child)); });
    return DataElement::make(valueType, std::move(children));
}

std::int64_t SDPInputStream::readInteger() {
    const std::uint8_t header = readByte();
    switch (header) {
        case DataElement::U_INT_1:
            return readLong(1);
        case DataElement::U_INT_2:
            return readLong(2);
        case DataElement::U_INT_4:
            return readLong(4);
        case DataElement::INT_1:
            return static_cast<std::int8_t>(readLong(1));
        case DataElement::INT_2:
            return static_cast<std::int16_t>(readLong(2));
        case DataElement::INT_4:
            return static_cast<std::int32_t>(readLong(4));
        case DataElement::INT_8:
            return readLong(8);
        default:
            throw IOError();
    }
}

void SDPInputStream::readAttributeList(
    const std::function<void(int id, DataElement::Ptr value)>& visit) {
    const std::uint8_t header = readByte();
    const int type = (header >> 3) & 0x1F;
    if (type != 6 && type != 7) {
        throw IOError();
    }
    const std::uint64_t length = readLength(header & 7);
    requireRemaining(length);
    const std::uint64_t end = pos + length;
    while (pos < end) {
        const auto id = static_cast<int>(readInteger());
        if (pos >= end) {
            throw IOError();
        }
        visit(id, readElement(1));
    }
    if (pos > end) {
        throw IOError();
    }
}

}  // namespace flarecast::bluetooth
