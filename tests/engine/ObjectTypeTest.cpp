#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "app/engine/ObjectType.h"
#include "bluetooth/io/Errors.h"

namespace flarecast::engine {
namespace {

struct TypeCase {
    const char* name;
    const char* filetype;
    std::optional<std::string> mimeType;
    std::optional<std::string> announcement;
};

TEST(ObjectType, NamesTheTypeAndAnnouncesPicturesAndTexts) {
    const TypeCase cases[] = {
        {"offer.jpg", "jpg", "image/jpeg", "Image Selected"},
        {"offer.jpeg", "jpg", "image/jpeg", "Image Selected"},
        {"OFFER.JPEG", "JPG", "image/jpeg", "Image Selected"},
        {"map.png", "png", "image/png", "Image Selected"},
        {"card.vcf", "vcf", "text/x-vcard", "Text Selected"},
        {"notes.TXT", "TXT", "text/plain", "Text Selected"},
        {"clip.3gp", "3gp", "video/3gpp", std::nullopt},
        {"cal.vcl", "vcl", std::nullopt, std::nullopt},
        {"peg", "peg", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        const ObjectType type = ObjectType::of(c.name);
        EXPECT_EQ(type.filetype, c.filetype) << c.name;
        EXPECT_EQ(type.mimeType, c.mimeType) << c.name;
        EXPECT_EQ(type.announcement, c.announcement) << c.name;
    }
    EXPECT_THROW(ObjectType::of("ab"), bluetooth::IllegalArgumentError);
}

}  // namespace
}  // namespace flarecast::engine
