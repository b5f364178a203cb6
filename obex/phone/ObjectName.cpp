#include "obex/phone/ObjectName.h"

#include <algorithm>
#include <cctype>

namespace flarecast::obex {

namespace {

// Long enough for any real name, short enough for every file system with room for " (n)".
constexpr std::size_t kMaxBytes = 200;
constexpr std::string_view kUnsafe = "<>:\"|?*";

bool unsafe(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F || kUnsafe.find(c) != std::string_view::npos;
}

// Where the extension's dot is, or npos.
std::size_t extensionAt(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()
               ? std::string_view::npos
               : dot;
}

// Moves a cut back so that it splits no UTF-8 character.
std::size_t characterBoundary(std::string_view text, std::size_t at) {
    while (at > 0 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) {
        --at;
    }
    return at;
}

std::string shortened(std::string name) {
    if (name.size() <= kMaxBytes) {
        return name;
    }
    const std::size_t dot = extensionAt(name);
    const std::string extension =
        dot != std::string::npos && name.size() - dot <= 16 ? name.substr(dot) : "";
    const std::size_t keep = characterBoundary(name, kMaxBytes - extension.size());
    return name.substr(0, keep) + extension;
}

// Windows opens a device, not a file, for these names, whatever the extension.
bool deviceName(std::string_view name) {
    std::string stem(name.substr(0, name.find('.')));
    stem.erase(stem.find_last_not_of(' ') + 1);
    std::transform(stem.begin(), stem.end(), stem.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") {
        return true;
    }
    return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
           stem[3] >= '1' && stem[3] <= '9';
}

}  // namespace

std::string safeFileName(std::string_view name, std::string_view fallback) {
    if (const std::size_t slash = name.find_last_of("/\\"); slash != std::string_view::npos) {
        name = name.substr(slash + 1);
    }
    std::string kept;
    std::copy_if(name.begin(), name.end(), std::back_inserter(kept),
                 [](char c) { return !unsafe(c); });
    const std::size_t first = kept.find_first_not_of(". ");
    if (first == std::string::npos) {
        return std::string(fallback);
    }
    const std::size_t last = kept.find_last_not_of(". ");
    std::string safe = kept.substr(first, last - first + 1);
    if (deviceName(safe)) {
        safe = "_" + safe;
    }
    return shortened(safe);
}

std::string numberedFileName(const std::string& name, int n) {
    if (n == 0) {
        return name;
    }
    const std::size_t dot = extensionAt(name);
    const std::string number = " (" + std::to_string(n) + ")";
    return dot == std::string::npos ? name + number
                                    : name.substr(0, dot) + number + name.substr(dot);
}

bool hasExtension(std::string_view name) {
    return extensionAt(name) != std::string_view::npos;
}

}  // namespace flarecast::obex
