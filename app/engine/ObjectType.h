#pragma once

#include <optional>
#include <string>

namespace flarecast::engine {

// What a push says about the file it sends, by the file's name.
struct ObjectType {
    // The last three characters of the name, as they are; "jpg" for a .jpeg name, in its case.
    std::string filetype;
    // The MIME type for the extension; nothing where no type is registered for it.
    std::optional<std::string> mimeType;
    // "Text Selected", "Image Selected", or nothing.
    std::optional<std::string> announcement;

    // An illegal-argument error for a name of fewer than three characters.
    static ObjectType of(const std::string& fileName);
};

}  // namespace flarecast::engine
