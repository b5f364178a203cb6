#include "bluetooth/sdp/ChildList.h"

#include <algorithm>
#include <utility>

#include "bluetooth/sdp/ElementGroup.h"

namespace flarecast::bluetooth {

ChildList::ChildList(ChildList&& other) noexcept
    : placed(std::exchange(other.placed, nullptr)),
      group(std::exchange(other.group, nullptr)),
      placedCount(std::exchange(other.placedCount, 0)),
      grown(std::move(other.grown)) {}

ChildList& ChildList::operator=(ChildList&& other) noexcept {
    if (this != &other) {
        releasePlaced();
        placed = std::exchange(other.placed, nullptr);
        group = std::exchange(other.group, nullptr);
        placedCount = std::exchange(other.placedCount, 0);
        grown = std::move(other.grown);
    }
    return *this;
}

void ChildList::releasePlaced() noexcept {
    if (placed == nullptr) {
        return;
    }
    for (std::size_t i = 0; i < placedCount; ++i) {
        ElementGroup::release(*placed[i]);
    }
    placed = nullptr;
    group = nullptr;
    placedCount = 0;
}

ChildList::Ptr ChildList::share(std::size_t index) const {
    return group->share(*placed[index]);
}

void ChildList::ownChildren() {
    if (placed == nullptr) {
        return;
    }
    std::vector<Ptr> shared = toVector();
    releasePlaced();
    grown = std::move(shared);
}

void ChildList::push_back(Ptr child) {
    ownChildren();
    if (grown.capacity() == 0) {
        // Most sequences hold one to three elements.
        grown.reserve(4);
    }
    grown.push_back(std::move(child));
}

std::vector<ChildList::Ptr> ChildList::toVector() const {
    if (placed == nullptr) {
        return grown;
    }
    std::vector<Ptr> children;
    children.reserve(placedCount);
    for (std::size_t i = 0; i < placedCount; ++i) {
        children.push_back(share(i));
    }
    return children;
}

void ChildList::insert(std::size_t index, Ptr child) {
    ownChildren();
    grown.insert(grown.begin() + static_cast<std::ptrdiff_t>(index), std::move(child));
}

bool ChildList::remove(const Ptr& element) {
    ownChildren();
    const auto found = std::find(grown.begin(), grown.end(), element);
    if (found == grown.end()) {
        return false;
    }
    grown.erase(found);
    return true;
}

}  // namespace flarecast::bluetooth
