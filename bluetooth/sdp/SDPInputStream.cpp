#include "bluetooth/sdp/SDPInputStream.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "bluetooth/io/Errors.h"
#include "bluetooth/sdp/ElementGroup.h"

namespace flarecast::bluetooth {

namespace {

constexpr std::uint64_t kReadChunk = 64 * 1024;
// Longer text is read in bounded chunks into a string of its own.
constexpr std::uint64_t kLongestPlacedText = 1024;
// An element takes a few bytes of input and, with its share of its sequence's children, about a
// hundred bytes of memory.
constexpr std::uint64_t kChunkBytesPerInputByte = 32;
constexpr std::size_t kSmallestChunk = 1024;
constexpr std::size_t kLargestFirstChunk = 32 * 1024;
constexpr std::size_t kFirstChunkOfUnknownInput = 4 * 1024;
constexpr std::size_t kLargestChunk = 64 * 1024;

struct Release {
    void operator()(DataElement* element) const noexcept { ElementGroup::release(*element); }
};

}  // namespace

SDPInputStream::~SDPInputStream() {
    if (group != nullptr) {
        group->close();
    }
}

int SDPInputStream::read() {
    if (in != nullptr) {
        return in->read();
    }
    return cursor < memory.size() ? memory[cursor++] : -1;
}

void SDPInputStream::readFromStream(std::uint8_t* destination, std::size_t count) {
    for (std::size_t filled = 0; filled < count;) {
        const int got = in->read({destination + filled, count - filled});
        if (got <= 0) {
            throw IOError();
        }
        filled += static_cast<std::size_t>(got);
    }
    pos += count;
}

inline void SDPInputStream::readRaw(std::uint8_t* destination, std::size_t count) {
    if (in != nullptr) {
        readFromStream(destination, count);
        return;
    }
    if (count > memory.size() - cursor) {
        throw IOError();
    }
    std::memcpy(destination, memory.data() + cursor, count);
    cursor += count;
    pos += count;
}

inline std::uint8_t SDPInputStream::readByte() {
    if (in == nullptr && cursor < memory.size()) [[likely]] {
        ++pos;
        return memory[cursor++];
    }
    std::uint8_t byte = 0;
    readRaw(&byte, 1);
    return byte;
}

inline void SDPInputStream::requireRemaining(std::uint64_t size) const {
    if (inputLength && (pos > *inputLength || size > *inputLength - pos)) {
        throw IOError();
    }
}

template <std::size_t Size>
inline void SDPInputStream::readFixed(std::uint8_t* destination) {
    if (in != nullptr) {
        requireRemaining(Size);
        readFromStream(destination, Size);
        return;
    }
    // pos never runs ahead of cursor, so the input length leaves at least as much room as
    // memory: this check covers requireRemaining's.
    if (Size > memory.size() - cursor) {
        throw IOError();
    }
    std::memcpy(destination, memory.data() + cursor, Size);
    cursor += Size;
    pos += Size;
}

template <std::size_t Size>
inline std::uint64_t SDPInputStream::readUnsigned() {
    std::array<std::uint8_t, Size> bytes;
    readFixed<Size>(bytes.data());
    std::uint64_t value = 0;
    for (const std::uint8_t byte : bytes) {
        value = (value << 8) | byte;
    }
    return value;
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

inline std::uint64_t SDPInputStream::readLength(int sizeIndex) {
    switch (sizeIndex) {
        case 5:
            return readUnsigned<1>();
        case 6:
            return readUnsigned<2>();
        case 7:
            return readUnsigned<4>();
        default:
            throw IOError();
    }
}

ElementGroup& SDPInputStream::elementGroup() {
    if (group == nullptr) {
        const std::size_t firstChunk =
            inputLength
                ? static_cast<std::size_t>(std::clamp<std::uint64_t>(
                      *inputLength * kChunkBytesPerInputByte, kSmallestChunk, kLargestFirstChunk))
                : kFirstChunkOfUnknownInput;
        group = &ElementGroup::open(firstChunk);
    }
    return *group;
}

template <typename... Args>
inline DataElement& SDPInputStream::place(Args&&... args) {
    return group->place(DataElement::Decoded(), std::forward<Args>(args)...);
}

template <std::size_t Size>
DataElement& SDPInputStream::readWide(int valueType) {
    std::array<std::uint8_t, Size> bytes;
    readFixed<Size>(bytes.data());
    return place(valueType, std::span<const std::uint8_t>(bytes));
}

DataElement& SDPInputStream::readText(int valueType, std::uint64_t length) {
    requireRemaining(length);
    if (length > kLongestPlacedText) {
        const Bytes text = readBytes(length);
        return group->place(valueType, std::string(text.begin(), text.end()));
    }
    const auto size = static_cast<std::size_t>(length);
    auto* const text = static_cast<char*>(group->allocate(size));
    readRaw(reinterpret_cast<std::uint8_t*>(text), size);
    return place(valueType, std::string_view(text, size));
}

DataElement::Ptr SDPInputStream::readElement() {
    ElementGroup& placing = elementGroup();
    return placing.shareDecoded(readPlaced(0));
}

DataElement& SDPInputStream::readPlaced(int enclosingSequences) {
    const std::uint8_t header = readByte();
    const int type = header >> 3;
    const int sizeIndex = header & 7;
    switch (type) {
        case 0:
            return group->place(DataElement::NULLTYPE);
        case 1:
            switch (sizeIndex) {
                case 0:
                    return place(DataElement::U_INT_1, std::int64_t(readUnsigned<1>()));
                case 1:
                    return place(DataElement::U_INT_2, std::int64_t(readUnsigned<2>()));
                case 2:
                    return place(DataElement::U_INT_4, std::int64_t(readUnsigned<4>()));
                case 3:
                    return readWide<8>(DataElement::U_INT_8);
                case 4:
                    return readWide<16>(DataElement::U_INT_16);
                default:
                    throw IOError();
            }
        case 2:
            switch (sizeIndex) {
                case 0:
                    return place(DataElement::INT_1,
                                 std::int64_t{static_cast<std::int8_t>(readUnsigned<1>())});
                case 1:
                    return place(DataElement::INT_2,
                                 std::int64_t{static_cast<std::int16_t>(readUnsigned<2>())});
                case 2:
                    return place(DataElement::INT_4,
                                 std::int64_t{static_cast<std::int32_t>(readUnsigned<4>())});
                case 3:
                    return place(DataElement::INT_8, static_cast<std::int64_t>(readUnsigned<8>()));
                case 4:
                    return readWide<16>(DataElement::INT_16);
                default:
                    throw IOError();
            }
        case 3:
            switch (sizeIndex) {
                case 1:
                    return place(static_cast<std::uint32_t>(readUnsigned<2>()));
                case 2:
                    return place(static_cast<std::uint32_t>(readUnsigned<4>()));
                case 4: {
                    std::array<std::uint8_t, 16> bytes;
                    readFixed<16>(bytes.data());
                    return group->place(DataElement::UUID, UUID(bytes));
                }
                default:
                    throw IOError();
            }
        case 4:
            return readText(DataElement::STRING, readLength(sizeIndex));
        case 8:
            return readText(DataElement::URL, readLength(sizeIndex));
        case 5:
            return group->place(readByte() != 0);
        case 6:
            return readSequence(DataElement::DATSEQ, sizeIndex, enclosingSequences);
        case 7:
            return readSequence(DataElement::DATALT, sizeIndex, enclosingSequences);
        default:
            throw IOError();
    }
}

DataElement& SDPInputStream::readSequence(int valueType, int sizeIndex, int enclosingSequences) {
    if (enclosingSequences >= kMaxNesting) {
        throw IOError();
    }
    const std::uint64_t length = readLength(sizeIndex);
    requireRemaining(length);
    const std::uint64_t end = pos + length;
    // The children wait on pending until their count is known, then move next to their sequence.
    const std::size_t first = pending.size();
    try {
        while (pos < end) {
            DataElement& child = readPlaced(enclosingSequences + 1);
            try {
                pending.push_back(&child);
            } catch (...) {
                ElementGroup::release(child);
                throw;
            }
        }
        if (pos > end) {
            throw IOError();
        }
        const std::span<DataElement* const> children(pending.data() + first,
                                                     pending.size() - first);
        auto* const storage = static_cast<DataElement**>(group->allocate(children.size_bytes()));
        DataElement& sequence = place(valueType, *group, children, storage);
        pending.resize(first);
        return sequence;
    } catch (...) {
        for (std::size_t i = first; i < pending.size(); ++i) {
            ElementGroup::release(*pending.data()[i]);
        }
        pending.resize(first);
        throw;
    }
}

std::int64_t SDPInputStream::readInteger() {
    const std::uint8_t header = readByte();
    switch (header) {
        case DataElement::U_INT_1:
            return static_cast<std::int64_t>(readUnsigned<1>());
        case DataElement::U_INT_2:
            return static_cast<std::int64_t>(readUnsigned<2>());
        case DataElement::U_INT_4:
            return static_cast<std::int64_t>(readUnsigned<4>());
        case DataElement::INT_1:
            return static_cast<std::int8_t>(readUnsigned<1>());
        case DataElement::INT_2:
            return static_cast<std::int16_t>(readUnsigned<2>());
        case DataElement::INT_4:
            return static_cast<std::int32_t>(readUnsigned<4>());
        case DataElement::INT_8:
            return static_cast<std::int64_t>(readUnsigned<8>());
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
    ElementGroup& placing = elementGroup();
    while (pos < end) {
        const auto id = static_cast<int>(readInteger());
        if (pos >= end) {
            throw IOError();
        }
        visit(id, placing.shareDecoded(readPlaced(1)));
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

// The element group

ElementGroup& ElementGroup::open(std::size_t firstChunk) {
    Chunk& chunk = newChunk(std::max(firstChunk, rounded(sizeof(ElementGroup))), nullptr);
    auto* const at = chunk.data();
    chunk.used = rounded(sizeof(ElementGroup));
    unpoison(at, chunk.used);
    ElementGroup* const group = std::construct_at(reinterpret_cast<ElementGroup*>(at), Key{},
                                                  std::min(firstChunk * 2, kLargestChunk));
    group->chunks = &chunk;
    return *group;
}

ElementGroup::Chunk& ElementGroup::newChunk(std::size_t capacity, Chunk* next) {
    static_assert(sizeof(Chunk) <= Chunk::kHeader);
    capacity = rounded(capacity);
    std::max_align_t* const memory =
        std::allocator<std::max_align_t>().allocate((Chunk::kHeader + capacity) / kGrain);
    Chunk* const chunk =
        std::construct_at(reinterpret_cast<Chunk*>(memory), Chunk{next, capacity, 0});
    poison(chunk->data(), capacity);
    return *chunk;
}

void ElementGroup::openChunk(std::size_t size) {
    chunks = &newChunk(std::max(nextSize, size), chunks);
    nextSize = std::min(nextSize * 2, kLargestChunk);
}

DataElement::Ptr ElementGroup::shareDecoded(DataElement& element) {
    return DataElement::Ptr(&element, Release{}, GroupAllocator<DataElement>(*this, true));
}

DataElement::Ptr ElementGroup::share(DataElement& element) {
    element.holds.fetch_add(1, std::memory_order_relaxed);
    return DataElement::Ptr(&element, Release{}, GroupAllocator<DataElement>(*this, false));
}

void* ElementGroup::allocateShare(std::size_t size, bool decoding) {
    if (decoding) {
        void* const at = allocate(size);
        ++decodedShares;
        return at;
    }
    void* const at = std::allocator<std::max_align_t>().allocate(rounded(size) / kGrain);
    live.fetch_add(1, std::memory_order_relaxed);
    return at;
}

void ElementGroup::deallocateShare(void* at, std::size_t size, bool decoding) noexcept {
    if (decoding) {
        poison(at, rounded(size));
    } else {
        std::allocator<std::max_align_t>().deallocate(static_cast<std::max_align_t*>(at),
                                                      rounded(size) / kGrain);
    }
    drop(1);
}

void ElementGroup::drop(std::uint64_t count) noexcept {
    if (live.fetch_sub(count, std::memory_order_acq_rel) != count) {
        return;
    }
    // The group lives in the first chunk it opened, the last of the list.
    Chunk* chunk = chunks;
    std::destroy_at(this);
    while (chunk != nullptr) {
        Chunk* const next = chunk->next;
        const std::size_t words = (Chunk::kHeader + chunk->capacity) / kGrain;
        unpoison(chunk->data(), chunk->capacity);
        std::destroy_at(chunk);
        std::allocator<std::max_align_t>().deallocate(reinterpret_cast<std::max_align_t*>(chunk),
                                                      words);
        chunk = next;
    }
}

}  // namespace flarecast::bluetooth
