#include "bluetooth/records/AttributeTable.h"

#include <algorithm>

namespace flarecast::bluetooth {

namespace {

bool idBelow(const AttributeTable::Entry& entry, int id) {
    return entry.first < id;
}

}  // namespace

std::vector<AttributeTable::Entry>::iterator AttributeTable::find(int id) {
    if (!table.empty() && table.back().first < id) {
        return table.end();
    }
    return std::lower_bound(table.begin(), table.end(), id, idBelow);
}

DataElement::Ptr AttributeTable::get(int id) const {
    const std::lock_guard guard(lock);
    const auto found = std::lower_bound(table.begin(), table.end(), id, idBelow);
    return found != table.end() && found->first == id ? found->second : nullptr;
}

void AttributeTable::put(int id, DataElement::Ptr value) {
    const std::lock_guard guard(lock);
    const auto at = find(id);
    if (at != table.end() && at->first == id) {
        at->second = std::move(value);
    } else {
        table.emplace(at, id, std::move(value));
    }
}

bool AttributeTable::erase(int id) {
    const std::lock_guard guard(lock);
    const auto at = find(id);
    if (at == table.end() || at->first != id) {
        return false;
    }
    table.erase(at);
    return true;
}

void AttributeTable::reserve(std::size_t count) {
    const std::lock_guard guard(lock);
    table.reserve(count);
}

std::vector<AttributeTable::Entry> AttributeTable::entries() const {
    const std::lock_guard guard(lock);
    return table;
}

}  // namespace flarecast::bluetooth
