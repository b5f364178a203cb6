#pragma once

#include <mutex>
#include <utility>
#include <vector>

#include "bluetooth/sdp/DataElement.h"

namespace flarecast::bluetooth {

// Attribute IDs mapped to values, kept in ascending ID order; each operation is atomic. A sorted
// vector: records are small and arrive in ascending order, so inserts append.
class AttributeTable {
public:
    using Entry = std::pair<int, DataElement::Ptr>;

    DataElement::Ptr get(int id) const;
    void put(int id, DataElement::Ptr value);
    // Puts each pair in order, as put() would, under one lock.
    void putAll(std::vector<Entry> entries);
    bool erase(int id);
    std::vector<Entry> entries() const;

private:
    std::vector<Entry>::iterator find(int id);
    void putLocked(int id, DataElement::Ptr value);

    mutable std::mutex lock;
    std::vector<Entry> table;
};

}  // namespace flarecast::bluetooth
