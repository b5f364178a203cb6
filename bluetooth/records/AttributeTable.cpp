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
    putLocked(id, std::move(value));
}

void AttributeTable::putAll(std::vector<Entry> entries) {
    const std::lock_guard guard(lock);
    // A record read from its device starts empty and its IDs ascend: take the pairs as they are.
    const auto notAscending = [](const Entry& a, const Entry& b) { return a.first >= b.first; };
    if (table.empty() &&
        std::adjacent_find(entries.begin(), entries.end(), notAscending) == entries.end()) {
        table = std::move(entries);
        return;
    }
    for (auto& [id, value] : entries) {
        putLocked(id, std::move(value));
    }
}

void AttributeTable::putLocked(int id, DataElement::Ptr value) {
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

std::vector<AttributeTable::Entry> AttributeTable::entries() const {
    const std::lock_guard guard(lock);
    return table;
}

}  // namespace flarecast::bluetooth
