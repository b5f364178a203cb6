#include "bluetooth/sdp/ChildList.h"

#include <algorithm>

namespace flarecast::bluetooth {

void ChildList::push_back(Ptr child) {
    if (count < kInline) {
        inlined[count] = std::move(child);
    } else {
        spilled.push_back(std::move(child));
    }
    ++count;
}

std::vector<ChildList::Ptr> ChildList::toVector() const {
    std::vector<Ptr> children;
    children.reserve(count);
    forEach([&children](const Ptr& child) { children.push_back(child); });
    return children;
}

void ChildList::assign(std::vector<Ptr> children) {
    inlined = {};
    spilled.clear();
    count = 0;
    for (auto& child : children) {
        push_back(std::move(child));
    }
}

void ChildList::insert(std::size_t index, Ptr child) {
    std::vector<Ptr> children = toVector();
    children.insert(children.begin() + static_cast<std::ptrdiff_t>(index), std::move(child));
    assign(std::move(children));
}

bool ChildList::remove(const Ptr& element) {
    std::vector<Ptr> children = toVector();
    const auto found = std::find(children.begin(), children.end(), element);
    if (found == children.end()) {
        return false;
    }
    children.erase(found);
    assign(std::move(children));
    return true;
}

}  // namespace flarecast::bluetooth
