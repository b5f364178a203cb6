#include "bluetooth/sdp/ChildList.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace flarecast::bluetooth {

ChildList::ChildList(std::span<Ptr> children, Ptr* storage) {
    if (children.empty()) {
        return;
    }
    std::uninitialized_move(children.begin(), children.end(), storage);
    placed = storage;
    placedCount = children.size();
}

ChildList::ChildList(ChildList&& other) noexcept
    : placed(std::exchange(other.placed, nullptr)),
      placedCount(std::exchange(other.placedCount, 0)),
      grown(std::move(other.grown)) {}

ChildList& ChildList::operator=(ChildList&& other) noexcept {
    if (this != &other) {
        dropPlaced();
        placed = std::exchange(other.placed, nullptr);
        placedCount = std::exchange(other.placedCount, 0);
        grown = std::move(other.grown);
    }
    return *this;
}

void ChildList::dropPlaced() noexcept {
    if (placed != nullptr) {
        std::destroy_n(placed, placedCount);
        placed = nullptr;
        placedCount = 0;
    }
}

void ChildList::ownChildren() {
    if (placed == nullptr) {
        return;
    }
    grown.reserve(placedCount + 1);
    std::move(placed, placed + placedCount, std::back_inserter(grown));
    dropPlaced();
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
    const Ptr* const children = data();
    return std::vector<Ptr>(children, children + size());
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
