#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

namespace flarecast::bluetooth {

// The values of one neighbourhood file; every fault names the file and the key where it was
// found, as a NeighbourhoodError.
class NeighbourhoodKeys {
public:
    using Json = nlohmann::json;

    explicit NeighbourhoodKeys(std::string source) : source(std::move(source)) {}

    [[noreturn]] void fail(const std::string& key, const std::string& problem) const;
    std::string text(const Json& value, const std::string& key) const;
    std::int64_t integerIn(const Json& value, const std::string& key, std::int64_t low,
                           std::int64_t high) const;
    bool flag(const Json& value, const std::string& key) const;

private:
    std::string source;
};

}  // namespace flarecast::bluetooth
