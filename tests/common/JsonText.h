#pragma once

#include <string>
#include <string_view>

namespace flarecast::testing {

// Text as it goes between the quotes of a JSON string: a Windows path's backslashes escaped.
inline std::string jsonEscaped(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '\\' || c == '"') {
            escaped.push_back('\\');
        }
        escaped.push_back(c);
    }
    return escaped;
}

}  // namespace flarecast::testing
