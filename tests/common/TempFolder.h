#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace flarecast::testing {

// A folder of its own under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder() {
        const std::filesystem::path temporary = std::filesystem::temp_directory_path();
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path.empty(); ++attempt) {
            const auto candidate = temporary / ("flarecast-test-" + std::to_string(random()) +
                                                std::to_string(random()));
            std::error_code failed;
            // Creating it is the test of its being new: two folders never share one.
            if (std::filesystem::create_directory(candidate, failed)) {
                std::filesystem::permissions(candidate, std::filesystem::perms::owner_all, failed);
                // As the programs under test will see it, links resolved.
                path = std::filesystem::canonical(candidate);
            }
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
