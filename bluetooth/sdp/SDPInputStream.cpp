#include "bluetooth/sdp/SDPInputStream.h"

#include <algorithm>
#include <array>
#include <memory>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/asan_interface.h>
#endif
#endif
#ifndef ASAN_POISON_MEMORY_REGION
#define ASAN_POISON_MEMORY_REGION(at, size) ((void)(at), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(at, size) ((void)(at), (void)(size))
#endif

#include "bluetooth/io/Errors.h"

namespace flarecast::bluetooth {

namespace {

constexpr std::uint64_t kReadChunk = 64 * 1024;
// Longer text is read in bounded chunks into a string of its own.
constexpr std::uint64_t kLongestPlacedText = 1024;
// Room for an element and its control block.
constexpr std::size_t kElementRoom = ArenaChunk::rounded(sizeof(DataElement) + 4 * sizeof(void*));
constexpr std::size_t kLargestChunk = 64 * 1024;

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

std::size_t SDPInputStream::firstChunkSize(std::optional<std::uint64_t> inputLength) {
    // An element takes a few bytes of input and, with its control block and its share of its
    // sequence's children, about a hundred bytes of memory.
    if (!inputLength) {
        return 4 * 1024;
    }
    return static_cast<std::size_t>(std::clamp<std::uint64_t>(*inputLength * 32, 1024, 32 * 1024));
}

template <typename... Args>
DataElement::Ptr SDPInputStream::place(Args&&... args) {
    arena.reserve(kElementRoom);
    return std::allocate_shared<DataElement>(arena.allocator<DataElement>(),
                                             std::forward<Args>(args)...);
}

DataElement::Ptr SDPInputStream::readWide(int valueType, std::size_t size) {
    requireRemaining(size);
    std::array<std::uint8_t, 16> bytes{};
    readRaw(bytes.data(), size);
    return place(DataElement::Decoded(), valueType,
                 std::span<const std::uint8_t>(bytes.data(), size));
}

DataElement::Ptr SDPInputStream::readText(int valueType, std::uint64_t length) {
    requireRemaining(length);
    if (length > kLongestPlacedText) {
        const Bytes text = readBytes(length);
        return place(valueType, std::string(text.begin(), text.end()));
    }
    const auto size = static_cast<std::size_t>(length);
    arena.reserve(kElementRoom + ArenaChunk::rounded(size));
    auto* const text = arena.take<char>(size);
    readRaw(reinterpret_cast<std::uint8_t*>(text), size);
    return place(DataElement::Decoded(), valueType, std::string_view(text, size));
}

DataElement::Ptr SDPInputStream::readElement(int enclosingSequences) {
    const std::uint8_t header = readByte();
    const int type = header >> 3;
    const int sizeIndex = header & 7;
    switch (type) {
        case 0:
            return place(DataElement::NULLTYPE);
        case 1:
            switch (sizeIndex) {
                case 0:
                    return place(DataElement::U_INT_1, readLong(1));
                case 1:
                    return place(DataElement::U_INT_2, readLong(2));
                case 2:
                    return place(DataElement::U_INT_4, readLong(4));
                case 3:
                    return readWide(DataElement::U_INT_8, 8);
                case 4:
                    return readWide(DataElement::U_INT_16, 16);
                default:
                    throw IOError();
            }
        case 2:
            switch (sizeIndex) {
                case 0:
                    return place(DataElement::INT_1,
                                 std::int64_t{static_cast<std::int8_t>(readLong(1))});
                case 1:
                    return place(DataElement::INT_2,
                                 std::int64_t{static_cast<std::int16_t>(readLong(2))});
                case 2:
                    return place(DataElement::INT_4,
                                 std::int64_t{static_cast<std::int32_t>(readLong(4))});
                case 3:
                    return place(DataElement::INT_8, readLong(8));
                case 4:
                    return readWide(DataElement::INT_16, 16);
                default:
                    throw IOError();
            }
        case 3:
            switch (sizeIndex) {
                case 1:
                    return place(DataElement::UUID, UUID(readLong(2)));
                case 2:
                    return place(DataElement::UUID, UUID(readLong(4)));
                case 4: {
                    requireRemaining(16);
                    std::array<std::uint8_t, 16> bytes{};
                    readRaw(bytes.data(), bytes.size());
                    return place(DataElement::UUID, UUID(bytes));
                }
                default:
                    throw IOError();
            }
        case 4:
            return readText(DataElement::STRING, readLength(sizeIndex));
        case 8:
            return readText(DataElement::URL, readLength(sizeIndex));
        case 5:
            return place(readByte() != 0);
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
    if (pending.capacity() == 0) {
        pending.reserve(32);
    }
    // The children wait on pending until their count is known; then they move next to their
    // sequence, in the chunk it is placed in.
    const std::size_t first = pending.size();
    try {
        readChildren(sizeIndex, enclosingSequences,
                     [this](DataElement::Ptr child) { pending.push_back(std::move(child)); });
        const std::span<DataElement::Ptr> children(pending.data() + first, pending.size() - first);
        arena.reserve(kElementRoom +
                      ArenaChunk::rounded(children.size() * sizeof(DataElement::Ptr)));
        ChildList list(children, arena.take<DataElement::Ptr>(children.size()));
        pending.resize(first);
        return place(valueType, std::move(list));
    } catch (...) {
        pending.resize(first);
        throw;
    }
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

template <typename Visit>
void SDPInputStream::readPairs(Visit&& visit) {
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

void SDPInputStream::readAttributeList(
    const std::function<void(int id, DataElement::Ptr value)>& visit) {
    readPairs(visit);
}

void SDPInputStream::readAttributeList(AttributePairs& pairs) {
    readPairs(
        [&pairs](int id, DataElement::Ptr value) { pairs.emplace_back(id, std::move(value)); });
}

// The room of a chunk starts this far past the chunk itself.
const std::size_t kHeader = ArenaChunk::rounded(sizeof(ArenaChunk));

ArenaChunk& ArenaChunk::open(std::size_t capacity) {
    capacity = rounded(capacity);
    std::max_align_t* const memory =
        std::allocator<std::max_align_t>().allocate((kHeader + capacity) / kGrain);
    ArenaChunk* const chunk =
        std::construct_at(reinterpret_cast<ArenaChunk*>(memory), Key{}, capacity);
    ASAN_POISON_MEMORY_REGION(chunk->data(), capacity);
    return *chunk;
}

std::byte* ArenaChunk::data() {
    return reinterpret_cast<std::byte*>(this) + kHeader;
}

void* ArenaChunk::take(std::size_t size) {
    size = rounded(size);
    if (size > capacity - used) {
        return nullptr;
    }
    std::byte* const at = data() + used;
    used += size;
    ASAN_UNPOISON_MEMORY_REGION(at, size);
    return at;
}

void ArenaChunk::release(void* at, std::size_t size) {
    ASAN_POISON_MEMORY_REGION(at, size);
    drop(1);
}

void ArenaChunk::close() {
    drop(kOpenBias - elements);
}

void ArenaChunk::drop(std::uint64_t count) {
    if (live.fetch_sub(count, std::memory_order_acq_rel) != count) {
        return;
    }
    const std::size_t words = (kHeader + capacity) / kGrain;
    ASAN_UNPOISON_MEMORY_REGION(data(), capacity);
    std::destroy_at(this);
    std::allocator<std::max_align_t>().deallocate(reinterpret_cast<std::max_align_t*>(this), words);
}

void ElementArena::reserve(std::size_t size) {
    if (chunk != nullptr && chunk->room() >= size) {
        return;
    }
    ArenaChunk& fresh = ArenaChunk::open(std::max(nextSize, size));
    if (chunk != nullptr) {
        chunk->close();
    }
    chunk = &fresh;
    nextSize = std::min(nextSize * 2, kLargestChunk);
}

}  // namespace flarecast::bluetooth
