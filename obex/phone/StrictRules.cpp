#include "obex/phone/StrictRules.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

#include "obex/headers/ResponseCodes.h"
#include "obex/phone/ObjectName.h"

namespace flarecast::obex {

namespace {

constexpr int kContinue = 0x90;

// "kind/*" takes every subtype of the kind.
constexpr std::array kAcceptedTypes = {
    "image/*",
    "video/*",
    "audio/*",
    "text/x-vcard",
    "text/vcard",
    "text/x-vcalendar",
    "text/calendar",
    "text/x-vnote",
    "text/x-vmessage",
    "text/plain",
    "text/html",
    "application/pdf",
    "application/zip",
    "application/java-archive",
    "application/vnd.android.package-archive",
    "text/vnd.sun.j2me.app-descriptor",
};

std::string normalised(std::string_view type) {
    type = type.substr(0, type.find(';'));
    const std::size_t first = type.find_first_not_of(" \t");
    const std::size_t last = type.find_last_not_of(" \t");
    std::string lower;
    if (first != std::string_view::npos) {
        for (const char c : type.substr(first, last - first + 1)) {
            lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
        }
    }
    return lower;
}

bool matches(std::string_view pattern, std::string_view type) {
    if (pattern.ends_with("/*")) {
        const std::string_view kind = pattern.substr(0, pattern.size() - 1);
        return type.size() > kind.size() && type.starts_with(kind);
    }
    return type == pattern;
}

}  // namespace

bool acceptedType(std::string_view type) {
    const std::string wanted = normalised(type);
    return std::any_of(kAcceptedTypes.begin(), kAcceptedTypes.end(),
                       [&wanted](std::string_view pattern) { return matches(pattern, wanted); });
}

int strictVerdict(const HeaderSetImpl& headers) {
    const auto length = headers.get<std::int64_t>(HeaderSet::LENGTH);
    if (!length || *length == 0) {
        return ResponseCodes::OBEX_HTTP_LENGTH_REQUIRED;
    }
    const auto type = headers.get<std::string>(HeaderSet::TYPE);
    const std::string name =
        safeFileName(headers.get<std::string>(HeaderSet::NAME).value_or(""), "");
    if (name.empty() || (!type && !hasExtension(name))) {
        return ResponseCodes::OBEX_HTTP_BAD_REQUEST;
    }
    if (type && !acceptedType(*type)) {
        return ResponseCodes::OBEX_HTTP_UNSUPPORTED_TYPE;
    }
    return kContinue;
}

}  // namespace flarecast::obex
