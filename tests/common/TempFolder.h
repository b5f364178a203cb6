#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace flarecast::testing {

// A folder of its own under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "flarecast-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            // As the programs under test will see it, links resolved.
            path = std::filesystem::canonical(pattern);
        }
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::filesystem::path path;
};

}  // namespace flarecast::testing
