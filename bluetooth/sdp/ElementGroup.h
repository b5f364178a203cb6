#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "bluetooth/sdp/DataElement.h"

#if defined(__SANITIZE_ADDRESS__)
#define FLARECAST_ELEMENT_GROUP_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FLARECAST_ELEMENT_GROUP_ASAN 1
#endif
#endif
#ifdef FLARECAST_ELEMENT_GROUP_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace flarecast::bluetooth {

// The memory of the elements one decoder makes: a few chunks, sized from the input, that go back
// to the heap together once no element of them is left.
//
// A decoded element needs no control block of its own. It counts its holders (the sequence that
// holds it, and each shared pointer handed out for it) and is destroyed in place when the last
// one lets go, on whichever thread that is; so elements live exactly as long as they are
// reachable, as they would with a control block each. Shared pointers are made only for what
// leaves the tree: the values a decoder returns and the children a caller asks for. The group
// counts those shared pointers, plus one for the open decoder; at zero no element is reachable.
class ElementGroup {
    struct Key {};

public:
    // Pieces are handed out in multiples of this, so that every piece stays aligned.
    static constexpr std::size_t kGrain = alignof(std::max_align_t);
    static constexpr std::size_t rounded(std::size_t size) {
        return (size + kGrain - 1) / kGrain * kGrain;
    }

    // Made by open() only.
    ElementGroup(Key /*key*/, std::size_t nextSize) : nextSize(nextSize) {}
    ElementGroup(const ElementGroup&) = delete;
    ElementGroup& operator=(const ElementGroup&) = delete;

    // A group whose first chunk has firstChunk bytes of room.
    static ElementGroup& open(std::size_t firstChunk);

    // The decoder's side: one thread, until close().
    //
    // size bytes for the decoder's use, as long as the group lasts.
    void* allocate(std::size_t size) {
        size = rounded(size);
        if (size > chunks->capacity - chunks->used) [[unlikely]] {
            openChunk(size);
        }
        std::byte* const at = chunks->data() + chunks->used;
        chunks->used += size;
        unpoison(at, size);
        return at;
    }
    // An element made from args, held once for the caller.
    template <typename... Args>
    DataElement& place(Args&&... args) {
        DataElement* const element = std::construct_at(
            static_cast<DataElement*>(allocate(sizeof(DataElement))), std::forward<Args>(args)...);
        element->holds.store(1, std::memory_order_relaxed);
        return *element;
    }
    // A shared pointer for element, whose hold the caller hands over.
    std::shared_ptr<DataElement> shareDecoded(DataElement& element);
    // The decoder is done: nothing more is placed, and the group goes once its elements are gone.
    void close() noexcept { drop(kOpenBias - decodedShares); }

    // Any thread.
    //
    // A further shared pointer for element, which belongs to this group and which the caller
    // reached through a holder that stays for the call.
    std::shared_ptr<DataElement> share(DataElement& element);
    // Lets go of one hold on element, destroying it if it was the last.
    static void release(DataElement& element) noexcept {
        // Held once, by the caller: nobody else can reach the element to hold it again.
        if (element.holds.load(std::memory_order_acquire) == 1 ||
            element.holds.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            std::destroy_at(&element);
            poison(&element, sizeof(DataElement));
        }
    }

private:
    template <typename T>
    friend class GroupAllocator;

    struct Chunk {
        Chunk* next;
        std::size_t capacity;
        std::size_t used;

        static constexpr std::size_t kHeader = 2 * kGrain;
        std::byte* data() { return reinterpret_cast<std::byte*>(this) + kHeader; }
    };

    static Chunk& newChunk(std::size_t capacity, Chunk* next);
    // Opens a chunk with at least size bytes of room.
    void openChunk(std::size_t size);
    void* allocateShare(std::size_t size, bool decoding);
    void deallocateShare(void* at, std::size_t size, bool decoding) noexcept;
    void drop(std::uint64_t count) noexcept;

    static void poison([[maybe_unused]] void* at, [[maybe_unused]] std::size_t size) {
#ifdef FLARECAST_ELEMENT_GROUP_ASAN
        __asan_poison_memory_region(at, size);
#endif
    }
    static void unpoison([[maybe_unused]] void* at, [[maybe_unused]] std::size_t size) {
#ifdef FLARECAST_ELEMENT_GROUP_ASAN
        __asan_unpoison_memory_region(at, size);
#endif
    }

    // Keeps the count above zero while the decoder may still hand out elements.
    static constexpr std::uint64_t kOpenBias = std::uint64_t{1} << 62;

    std::atomic<std::uint64_t> live{kOpenBias};
    // Touched by the decoder only, before close(): shared pointers it made.
    std::uint64_t decodedShares = 0;
    // The open chunk first; the last holds the group itself.
    Chunk* chunks = nullptr;
    std::size_t nextSize;
};

// Allocates the control blocks of shared pointers to elements of a group, and counts them in the
// group: from its chunks while decoding, from the heap afterwards.
template <typename T>
class GroupAllocator {
public:
    using value_type = T;

    GroupAllocator(ElementGroup& group, bool decoding) : group(&group), decoding(decoding) {}
    template <typename U>
    GroupAllocator(const GroupAllocator<U>& other)  // NOLINT: rebinding converts implicitly
        : group(other.group), decoding(other.decoding) {}

    T* allocate(std::size_t count) {
        static_assert(alignof(T) <= ElementGroup::kGrain);
        return static_cast<T*>(group->allocateShare(count * sizeof(T), decoding));
    }
    void deallocate(T* at, std::size_t count) noexcept {
        group->deallocateShare(at, count * sizeof(T), decoding);
    }

    template <typename U>
    friend bool operator==(const GroupAllocator& a, const GroupAllocator<U>& b) {
        return a.group == b.group && a.decoding == b.decoding;
    }

private:
    template <typename U>
    friend class GroupAllocator;

    ElementGroup* group;
    bool decoding;
};

}  // namespace flarecast::bluetooth
