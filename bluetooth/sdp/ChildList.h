#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace flarecast::bluetooth {

class DataElement;

// The children of an SDP sequence. Most sequences hold one to three elements, so the first few
// live inline and decoding a record does not pay an allocation per sequence.
class ChildList {
public:
    using Ptr = std::shared_ptr<DataElement>;

    std::size_t size() const { return count; }
    const Ptr& operator[](std::size_t index) const {
        return index < kInline ? inlined[index] : spilled[index - kInline];
    }
    void push_back(Ptr child);
    void insert(std::size_t index, Ptr child);
    // Removes the first child that is element itself.
    bool remove(const Ptr& element);
    std::vector<Ptr> toVector() const;

    template <typename Visit>
    void forEach(Visit&& visit) const {
        for (std::size_t i = 0; i < count; ++i) {
            visit((*this)[i]);
        }
    }

private:
    static constexpr std::size_t kInline = 3;

    void assign(std::vector<Ptr> children);

    std::array<Ptr, kInline> inlined;
    std::vector<Ptr> spilled;
    std::uint32_t count = 0;
};

}  // namespace flarecast::bluetooth
