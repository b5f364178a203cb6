#pragma once

#include <filesystem>
#include <string>

namespace flarecast::ui {

// Decides which entries a file dialog lists, under the name getDescription gives.
class FileFilter {
public:
    virtual ~FileFilter() = default;
    virtual bool accept(const std::filesystem::path& file) const = 0;
    virtual std::string getDescription() const = 0;
};

// Folders always pass so that the operator can move through them.
class Savefilter final : public FileFilter {
public:
    bool accept(const std::filesystem::path& file) const override;
    std::string getDescription() const override;
};

class Videofilter final : public FileFilter {
public:
    bool accept(const std::filesystem::path& file) const override;
    std::string getDescription() const override;
    static bool isSupportedType(const std::filesystem::path& file);
};

}  // namespace flarecast::ui
