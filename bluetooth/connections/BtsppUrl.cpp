#include "bluetooth/connections/BtsppUrl.h"

#include <array>

#include "bluetooth/io/Errors.h"

namespace flarecast::bluetooth {

namespace {

constexpr std::string_view kScheme = "btspp://";
constexpr std::array<std::string_view, 5> kRecognised = {"authenticate", "encrypt", "master",
                                                         "name", "adapter"};

}  // namespace

BtsppUrl BtsppUrl::parse(std::string_view name) {
    if (!name.starts_with(kScheme)) {
        throw ConnectionNotFoundException();
    }
    const std::size_t colon = name.find(':', kScheme.size());
    if (colon == std::string_view::npos) {
        throw IllegalArgumentError();
    }
    BtsppUrl url;
    url.host = std::string(name.substr(kScheme.size(), colon - kScheme.size()));
    std::string_view rest = name.substr(colon + 1);
    bool first = true;
    while (true) {
        const std::size_t semicolon = rest.find(';');
        const std::string_view token = rest.substr(0, semicolon);
        if (!token.empty()) {
            if (first) {
                url.target = std::string(token);
                first = false;
            } else if (const std::size_t equals = token.find('=');
                       equals != std::string_view::npos) {
                const std::string_view key = token.substr(0, equals);
                for (const auto recognised : kRecognised) {
                    if (key == recognised) {
                        url.parameters[std::string(key)] = std::string(token.substr(equals + 1));
                    }
                }
            }
        }
        if (semicolon == std::string_view::npos) {
            break;
        }
        rest = rest.substr(semicolon + 1);
    }
    if (first) {
        throw IllegalArgumentError();
    }
    return url;
}

std::optional<std::string> BtsppUrl::parameter(const std::string& key) const {
    const auto found = parameters.find(key);
    if (found == parameters.end()) {
        return std::nullopt;
    }
    return found->second;
}

bool BtsppUrl::isTrue(const std::string& key) const {
    return parameter(key) == "true";
}

}  // namespace flarecast::bluetooth
