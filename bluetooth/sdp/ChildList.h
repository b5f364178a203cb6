#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <vector>

namespace flarecast::bluetooth {

class DataElement;

// The children of an SDP sequence. A decoded sequence keeps its children in memory placed next to
// it by the decoder, so that decoding pays no allocation per sequence; the first change moves
// them to a vector of the list's own.
class ChildList {
public:
    using Ptr = std::shared_ptr<DataElement>;

    ChildList() = default;
    // Moves children into storage, room for children.size() pointers that outlives the list. The
    // list destroys the pointers it holds there but leaves the memory to its owner.
    ChildList(std::span<Ptr> children, Ptr* storage);
    ChildList(ChildList&& other) noexcept;
    ChildList& operator=(ChildList&& other) noexcept;
    ChildList(const ChildList&) = delete;
    ChildList& operator=(const ChildList&) = delete;
    ~ChildList() { dropPlaced(); }

    std::size_t size() const { return placed != nullptr ? placedCount : grown.size(); }
    const Ptr& operator[](std::size_t index) const { return data()[index]; }
    void push_back(Ptr child);
    void insert(std::size_t index, Ptr child);
    // Removes the first child that is element itself.
    bool remove(const Ptr& element);
    std::vector<Ptr> toVector() const;

    template <typename Visit>
    void forEach(Visit&& visit) const {
        const Ptr* const children = data();
        const std::size_t count = size();
        for (std::size_t i = 0; i < count; ++i) {
            visit(children[i]);
        }
    }

private:
    const Ptr* data() const { return placed != nullptr ? placed : grown.data(); }
    // Moves placed children into grown, which every change works on.
    void ownChildren();
    void dropPlaced() noexcept;

    Ptr* placed = nullptr;
    std::size_t placedCount = 0;
    std::vector<Ptr> grown;
};

}  // namespace flarecast::bluetooth
