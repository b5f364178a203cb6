#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>

namespace flarecast::bluetooth {

// One block of memory that decoded elements are placed in, one after the other. Each element keeps
// its own control block and lifetime; the chunk returns to the heap when the last element placed
// in it is gone and the arena that filled it has closed it, on whichever thread that happens.
class ArenaChunk {
    struct Key {};

public:
    // Takes, and hands out, sizes in multiples of this, so that every piece stays aligned.
    static constexpr std::size_t kGrain = alignof(std::max_align_t);
    static constexpr std::size_t rounded(std::size_t size) {
        return (size + kGrain - 1) / kGrain * kGrain;
    }

    // Made by open() only.
    ArenaChunk(Key /*key*/, std::size_t capacity) : capacity(capacity) {}
    ArenaChunk(const ArenaChunk&) = delete;
    ArenaChunk& operator=(const ArenaChunk&) = delete;

    // A chunk with capacity bytes of room.
    static ArenaChunk& open(std::size_t capacity);

    // size bytes, aligned for anything, or nullptr if the room left is too small.
    void* take(std::size_t size);
    std::size_t room() const { return capacity - used; }
    // Counts an element's allocation, which its deallocation gives back.
    void countElement() { ++elements; }
    // An element placed here is gone; size bytes at at were its own.
    void release(void* at, std::size_t size);
    // No more elements will be placed here.
    void close();

private:
    void drop(std::uint64_t count);
    std::byte* data();

    // Counts live elements, plus a bias held until close() so that elements dying while the chunk
    // is still being filled cannot free it under the decoder.
    static constexpr std::uint64_t kOpenBias = std::uint64_t{1} << 62;

    std::atomic<std::uint64_t> live{kOpenBias};
    // Touched only by the decoding thread, before close().
    std::uint64_t elements = 0;
    std::size_t used = 0;
    const std::size_t capacity;
};

// Allocates control blocks and elements from one chunk, which the caller made sure has room.
template <typename T>
class ArenaAllocator {
public:
    using value_type = T;

    explicit ArenaAllocator(ArenaChunk& chunk) : chunk(&chunk) {}
    template <typename U>
    ArenaAllocator(const ArenaAllocator<U>& other) : chunk(other.chunk) {}

    T* allocate(std::size_t count) {
        static_assert(alignof(T) <= ArenaChunk::kGrain);
        void* at = chunk->take(count * sizeof(T));
        if (at == nullptr) {
            throw std::bad_alloc();
        }
        chunk->countElement();
        return static_cast<T*>(at);
    }
    void deallocate(T* at, std::size_t count) { chunk->release(at, count * sizeof(T)); }

    template <typename U>
    friend bool operator==(const ArenaAllocator& a, const ArenaAllocator<U>& b) {
        return a.chunk == b.chunk;
    }

private:
    template <typename U>
    friend class ArenaAllocator;

    ArenaChunk* chunk;
};

// The chunks of one decoding pass. Decoding a record allocates one chunk instead of one block per
// element; the first chunk is sized from the input so that most records fit in it.
class ElementArena {
public:
    explicit ElementArena(std::size_t firstChunk) : nextSize(firstChunk) {}
    ElementArena(const ElementArena&) = delete;
    ElementArena& operator=(const ElementArena&) = delete;
    ~ElementArena() {
        if (chunk != nullptr) {
            chunk->close();
        }
    }

    // Makes sure the open chunk has size bytes to spare for what comes next.
    void reserve(std::size_t size);
    // count Ts of uninitialised room from what reserve() set aside.
    template <typename T>
    T* take(std::size_t count) {
        static_assert(alignof(T) <= ArenaChunk::kGrain);
        return static_cast<T*>(chunk->take(count * sizeof(T)));
    }
    template <typename T>
    ArenaAllocator<T> allocator() {
        return ArenaAllocator<T>(*chunk);
    }

private:
    ArenaChunk* chunk = nullptr;
    std::size_t nextSize;
};

}  // namespace flarecast::bluetooth
