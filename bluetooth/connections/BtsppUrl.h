#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace flarecast::bluetooth {

// A btspp:// URL taken apart: host, target (a channel or a service UUID) and the recognised
// parameters (authenticate, encrypt, master, name, and adapter: the local adapter to connect
// through, by name); other parameters are dropped.
struct BtsppUrl {
    std::string host;
    std::string target;
    std::map<std::string, std::string> parameters;

    // Not btspp://: ConnectionNotFoundException; no ":" after the host or no target: illegal
    // argument.
    static BtsppUrl parse(std::string_view name);

    std::optional<std::string> parameter(const std::string& key) const;
    // The parameter is exactly "true".
    bool isTrue(const std::string& key) const;
    bool isServer() const { return host == "localhost"; }
};

}  // namespace flarecast::bluetooth
