#include "app/engine/ObjectType.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

#include "bluetooth/io/Errors.h"

namespace flarecast::engine {

namespace {

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The types phones register for the files Flarecast sends. A .vcl file has no registered type:
// it goes by its name alone, which the receivers of today's phones accept.
constexpr std::array<std::pair<const char*, const char*>, 6> kMimeTypes = {{
    {"jpg", "image/jpeg"},
    {"jpeg", "image/jpeg"},
    {"png", "image/png"},
    {"3gp", "video/3gpp"},
    {"txt", "text/plain"},
    {"vcf", "text/x-vcard"},
}};

}  // namespace

ObjectType ObjectType::of(const std::string& fileName) {
    if (fileName.size() < 3) {
        throw bluetooth::IllegalArgumentError("File name too short: " + fileName);
    }
    ObjectType type;
    type.filetype = fileName.substr(fileName.size() - 3);
    // A .jpeg picture goes as a .jpg one does, and says so.
    if (fileName.size() >= 5 && lowerCase(fileName.substr(fileName.size() - 5)) == ".jpeg") {
        type.filetype = fileName.substr(fileName.size() - 4, 2) + fileName.back();
    }
    const std::string kind = lowerCase(type.filetype);
    if (kind == "txt" || kind == "vcf") {
        type.announcement = "Text Selected";
    } else if (kind == "jpg" || kind == "png") {
        type.announcement = "Image Selected";
    }
    const std::size_t dot = fileName.rfind('.');
    if (dot != std::string::npos) {
        const std::string extension = lowerCase(fileName.substr(dot + 1));
        for (const auto& [known, mime] : kMimeTypes) {
            if (extension == known) {
                type.mimeType = mime;
            }
        }
    }
    return type;
}

}  // namespace flarecast::engine
