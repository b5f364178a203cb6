#include "bluetooth/native/neighbourhood/NeighbourhoodKeys.h"

#include "bluetooth/native/neighbourhood/NeighbourhoodFile.h"

namespace flarecast::bluetooth {

void NeighbourhoodKeys::fail(const std::string& key, const std::string& problem) const {
    throw NeighbourhoodError("Neighbourhood file " + source + ": " + key + ": " + problem);
}

std::string NeighbourhoodKeys::text(const Json& value, const std::string& key) const {
    if (!value.is_string()) {
        fail(key, "expected a string");
    }
    return value.get<std::string>();
}

std::int64_t NeighbourhoodKeys::integerIn(const Json& value, const std::string& key,
                                          std::int64_t low, std::int64_t high) const {
    // An unsigned number beyond the signed range is out of range too.
    if (!value.is_number_integer() ||
        (value.is_number_unsigned() &&
         value.get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX)) ||
        value.get<std::int64_t>() < low || value.get<std::int64_t>() > high) {
        fail(key,
             "expected a whole number from " + std::to_string(low) + " to " + std::to_string(high));
    }
    return value.get<std::int64_t>();
}

bool NeighbourhoodKeys::flag(const Json& value, const std::string& key) const {
    if (!value.is_boolean()) {
        fail(key, "expected true or false");
    }
    return value.get<bool>();
}

}  // namespace flarecast::bluetooth
