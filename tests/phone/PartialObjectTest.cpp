#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/resource.h>

#include <csignal>
#endif

#include "PhoneClient.h"
#include "RawClient.h"
#include "obex/headers/ResponseCodes.h"
#include "obex/phone/VirtualPhone.h"
#include "tests/common/Eventually.h"
#include "tests/common/TempFolder.h"

namespace flarecast::obex {
namespace {

using Profile = bluetooth::VirtualPhoneProfile;
using std::chrono::milliseconds;
using testing::RawClient;

constexpr int kContinue = 0x90;
constexpr std::size_t kPiece = 4000;

#if !defined(_WIN32)
// Files of this process may grow to size bytes, and a write past that fails instead of
// killing the process: a full disk, without a disk of that size.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t size) {
        ::getrlimit(RLIMIT_FSIZE, &before);
        rlimit limit = before;
        limit.rlim_cur = size;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        signalBefore = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, signalBefore);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit before{};
    void (*signalBefore)(int) = nullptr;
};
#endif

// The names only: on Windows a file open for reading cannot be deleted, and the phone may be
// deleting it.
std::vector<std::string> namesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(bluetooth::utf8Of(entry.path().filename()));
    }
    return names;
}

bool holdsOnePartialFile(const std::filesystem::path& folder) {
    const auto names = namesIn(folder);
    return names.size() == 1 && names.front().starts_with(".incoming-");
}

// Each case starts an object, sees its first piece saved under a temporary name, and ends the
// object without completing it: nothing of it may stay in the folder.
TEST(PartialObject, AnObjectThatEndsWithoutCompletingLeavesNothing) {
    struct Case {
        const char* what;
        Profile::Preset preset;
        // How long the phone waits between packets of an object.
        milliseconds patience;
        std::function<void(RawClient&)> end;
    };
    const milliseconds generous = std::chrono::minutes(10);
    const Case cases[] = {
        {"aborted", Profile::Preset::Plain, generous,
         [](RawClient& client) {
             EXPECT_EQ(client.exchange(testing::abortPacket()), ResponseCodes::OBEX_HTTP_OK);
         }},
        {"dropped mid-object", Profile::Preset::Plain, generous,
         [](RawClient& client) { client.drop(); }},
        {"silent past the phone's patience", Profile::Preset::Plain, milliseconds(100),
         [](RawClient& client) { EXPECT_TRUE(client.closedByPhone()); }},
#if !defined(_WIN32)
        // Windows has no limit on a process's file size to stand in for a full disk.
        {"refused when the disk is full", Profile::Preset::Plain, generous,
         [](RawClient& client) {
             const FileSizeLimit full(3 * kPiece);
             int code = kContinue;
             for (int piece = 0; piece < 10 && code == kContinue; ++piece) {
                 code = client.exchange(testing::putPacket(false, kPiece));
             }
             EXPECT_EQ(code, ResponseCodes::OBEX_HTTP_INTERNAL_ERROR);
         }},
#endif
        {"refused where it runs past its LENGTH", Profile::Preset::Strict, generous,
         [](RawClient& client) {
             EXPECT_EQ(client.exchange(testing::putPacket(false, kPiece)),
                       ResponseCodes::OBEX_HTTP_ENTITY_TOO_LARGE);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const flarecast::testing::TempFolder folder;
        Profile profile;
        profile.preset = c.preset;
        profile.saveTo = bluetooth::utf8Of(folder.path);
        PhonePatience patience{generous, c.patience, generous};
        VirtualPhone phone(profile, "127.0.0.1", 0, patience);
        RawClient client(phone.port());
        ASSERT_EQ(client.exchange(testing::connectPacket()), ResponseCodes::OBEX_HTTP_OK);
        ASSERT_EQ(client.exchange(testing::putPacket(false, kPiece, "partial.txt", kPiece + 1)),
                  kContinue);
        // A patient phone still holds the piece; an impatient one may have let go already.
        if (c.patience == generous) {
            EXPECT_TRUE(holdsOnePartialFile(folder.path));
        }
        c.end(client);
        EXPECT_TRUE(flarecast::testing::eventually([&] { return namesIn(folder.path).empty(); }));
    }
}

}  // namespace
}  // namespace flarecast::obex
