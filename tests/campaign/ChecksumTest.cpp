#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>
#include <string>

#include "app/campaign/Checksum.h"
#include "bluetooth/io/Utf8Path.h"
#include "tests/common/TempFolder.h"

namespace flarecast::campaign {
namespace {

TEST(Checksum, IsTheSha256OfTheFileInLowerCaseHex) {
    const struct {
        std::string content;
        std::string sha256;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // Many chunks, the last one partial.
        {std::string(1'000'000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    const testing::TempFolder folder;
    for (const auto& each : cases) {
        const auto file = folder.path / "file";
        std::ofstream(file, std::ios::binary | std::ios::trunc) << each.content;
        EXPECT_EQ(fileChecksum(file), each.sha256) << each.content.size() << " bytes";
    }
}

TEST(Checksum, AnUnreadablePathThrowsNamingIt) {
    const testing::TempFolder folder;
    for (const auto& path : {folder.path / "missing.jpg", folder.path}) {
        try {
            fileChecksum(path);
            ADD_FAILURE() << path << " gave a checksum";
        } catch (const std::runtime_error& error) {
            EXPECT_NE(std::string(error.what()).find(bluetooth::utf8Of(path)), std::string::npos)
                << error.what();
        }
    }
}

}  // namespace
}  // namespace flarecast::campaign
