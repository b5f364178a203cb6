#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/ui/FileExtension.h"
#include "app/ui/FileFilter.h"

namespace flarecast::ui {
namespace {

struct ExtensionCase {
    const char* name;
    const char* extension;
};

TEST(FileExtension, IsTheLowerCaseTextAfterTheLastDot) {
    const ExtensionCase cases[] = {
        {"Photo.JPG", "jpg"},
        {"archive.tar.txt", "txt"},
        {".jpg", ""},
        {"photo.", ""},
        {"README", ""},
        {"folder.d/name", ""},
        {"/some/where/clip.3GP", "3gp"},
        {"a.b.", ""},
        {"x.CsV", "csv"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(extensionOf(c.name), c.extension) << c.name;
    }
}

struct AcceptCase {
    const char* name;
    bool video;
    bool save;
};

TEST(FileFilters, AcceptFilesByExtensionOnly) {
    const AcceptCase cases[] = {
        {"offer.jpg", true, false},    {"logo.png", true, false},  {"clip.3GP", true, false},
        {"card.Vcf", true, false},     {"notes.TXT", true, false}, {"theme.vcl", true, false},
        {"movie.mp4", false, false},   {"README", false, false},   {".vcf", false, false},
        {"image.", false, false},      {"log.csv", false, true},   {"LOG.CSV", false, true},
        {"log.csv.bak", false, false}, {"csv", false, false},      {"photo.JPEG", true, false},
        {"photo.jpe", false, false},
    };
    const Videofilter video;
    const Savefilter save;
    for (const auto& c : cases) {
        EXPECT_EQ(video.accept(c.name), c.video) << c.name;
        EXPECT_EQ(save.accept(c.name), c.save) << c.name;
    }
}

TEST(FileFilters, AcceptEveryFolderWhateverItsName) {
    const auto root = std::filesystem::temp_directory_path() / "flarecast-filter-test";
    std::filesystem::remove_all(root);
    for (const char* folder : {"plain", "movie.mp4", "report.csv.d"}) {
        std::filesystem::create_directories(root / folder);
        EXPECT_TRUE(Videofilter().accept(root / folder)) << folder;
        EXPECT_TRUE(Savefilter().accept(root / folder)) << folder;
    }
    std::ofstream(root / "movie.mp4.file") << "x";
    EXPECT_FALSE(Videofilter().accept(root / "movie.mp4.file"));
    std::filesystem::remove_all(root);
}

TEST(FileFilters, DescribeThemselves) {
    EXPECT_EQ(Videofilter().getDescription(), "Resource Files");
    EXPECT_EQ(Savefilter().getDescription(), "Comma Seperated File");
}

}  // namespace
}  // namespace flarecast::ui
