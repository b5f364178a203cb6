#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <vector>

namespace flarecast::bluetooth {

class DataElement;
class ElementGroup;

// The children of an SDP sequence. A decoded sequence holds its children as placed elements of
// its group, listed in that group's memory, and hands out a shared pointer to a child only when
// asked; the first change turns them into shared pointers in a vector of the list's own.
class ChildList {
public:
    using Ptr = std::shared_ptr<DataElement>;

    ChildList() = default;
    // Takes over one hold on each of children, elements of group, and keeps their addresses in
    // storage, room for children.size() pointers that outlives the list.
    ChildList(ElementGroup& group, std::span<DataElement* const> children, DataElement** storage)
        : placed(storage), group(&group), placedCount(children.size()) {
        // A handful of pointers: a loop beats a call to memmove.
        for (std::size_t i = 0; i < placedCount; ++i) {
            storage[i] = children[i];
        }
        if (placedCount == 0) {
            placed = nullptr;
        }
    }
    ChildList(ChildList&& other) noexcept;
    ChildList& operator=(ChildList&& other) noexcept;
    ChildList(const ChildList&) = delete;
    ChildList& operator=(const ChildList&) = delete;
    ~ChildList() { releasePlaced(); }

    std::size_t size() const { return placed != nullptr ? placedCount : grown.size(); }
    void push_back(Ptr child);
    void insert(std::size_t index, Ptr child);
    // Removes the first child that is element itself.
    bool remove(const Ptr& element);
    std::vector<Ptr> toVector() const;

    template <typename Visit>
    void forEach(Visit&& visit) const {
        if (placed != nullptr) {
            for (std::size_t i = 0; i < placedCount; ++i) {
                const Ptr child = share(i);
                visit(child);
            }
        } else {
            for (const Ptr& child : grown) {
                visit(child);
            }
        }
    }
    // Visits the children themselves, handing out no shared pointers.
    template <typename Visit>
    void forEachElement(Visit&& visit) const {
        if (placed != nullptr) {
            for (std::size_t i = 0; i < placedCount; ++i) {
                visit(*placed[i]);
            }
        } else {
            for (const Ptr& child : grown) {
                visit(*child);
            }
        }
    }

private:
    // A shared pointer to placed child index.
    Ptr share(std::size_t index) const;
    // Turns placed children into shared pointers in grown, which every change works on.
    void ownChildren();
    void releasePlaced() noexcept;

    DataElement** placed = nullptr;
    ElementGroup* group = nullptr;
    std::size_t placedCount = 0;
    std::vector<Ptr> grown;
};

}  // namespace flarecast::bluetooth
