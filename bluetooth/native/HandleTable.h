#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "bluetooth/io/Errors.h"

namespace flarecast::bluetooth {

// A native stack's objects by int handle. Handles are never reused, and each entry is shared, so
// a call still using an entry that another thread has taken out of the table never reaches
// another object.
template <typename Entry>
class HandleTable {
public:
    using Entries = std::map<int, std::shared_ptr<Entry>>;

    // missing: the I/O error's text for a handle that is not in the table.
    explicit HandleTable(std::string missing) : missing(std::move(missing)) {}

    std::shared_ptr<Entry> find(int handle) const {
        const std::lock_guard guard(lock);
        const auto found = entries.find(handle);
        if (found == entries.end()) {
            throw IOError(missing);
        }
        return found->second;
    }

    int add(std::shared_ptr<Entry> entry) {
        const std::lock_guard guard(lock);
        const int handle = next++;
        entries.emplace(handle, std::move(entry));
        return handle;
    }

    // Removes the entry and hands it over.
    std::shared_ptr<Entry> take(int handle) {
        const std::lock_guard guard(lock);
        const auto found = entries.find(handle);
        if (found == entries.end()) {
            throw IOError(missing);
        }
        auto entry = std::move(found->second);
        entries.erase(found);
        return entry;
    }

    // Runs visit on all entries under the table's lock; visit must not call the table.
    template <typename Visit>
    decltype(auto) locked(Visit&& visit) const {
        const std::lock_guard guard(lock);
        return std::forward<Visit>(visit)(std::as_const(entries));
    }

private:
    const std::string missing;
    mutable std::mutex lock;
    Entries entries;
    int next = 1;
};

}  // namespace flarecast::bluetooth
