#pragma once

// The neighbourhood of phones of the engine's tests, which a test may replace for a while.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "EngineTesting.h"
#include "bluetooth/io/Utf8Path.h"
#include "bluetooth/native/NativeStackFactory.h"
#include "bluetooth/native/neighbourhood/NeighbourhoodFile.h"
#include "bluetooth/native/neighbourhood/NeighbourhoodStack.h"
#include "obex/phone/VirtualPhoneLauncher.h"
#include "tests/common/FreePort.h"
#include "tests/common/JsonText.h"
#include "tests/common/SwappableStack.h"
#include "tests/common/TempFolder.h"

namespace flarecast::engine {

using testing::SwappableStack;

// The neighbourhood of the engine's tests: "receiver" leads to our own server on the local
// channel 3; the others are virtual phones.
struct Phones {
    static constexpr const char* kObjectPush = R"([ { "uuid": "1105", "channel": 9 } ])";

    testing::TempFolder root;
    std::uint16_t serverPort = 0;
    std::shared_ptr<obex::VirtualPhoneLauncher> launcher =
        std::make_shared<obex::VirtualPhoneLauncher>();
    SwappableStack* stack = nullptr;

    Phones() {
        serverPort = testing::freeLoopbackPort();
        const std::string folder = testing::jsonEscaped(bluetooth::utf8Of(root.path / "inbox"));
        const std::string json = R"({
          "local": { "address": "0012a1b2c3d4", "rfcomm_ports": { "3": )" +
                                 std::to_string(serverPort) + R"( } },
          "inquiry_ms": 20,
          "devices": [
            { "address": "001234560001", "name": "Own server", "sdp": "none",
              "rfcomm": { "3": "tcp:127.0.0.1:)" +
                                 std::to_string(serverPort) + R"(" } },
            { "address": "001234560002", "name": "Strict", "services": )" +
                                 kObjectPush + R"(,
              "rfcomm": { "9": { "preset": "strict", "save_to": ")" +
                                 folder + R"(" } } },
            { "address": "001234560003", "name": "Declines", "services": )" +
                                 kObjectPush + R"(,
              "rfcomm": { "9": { "preset": "strict", "prompt": "decline" } } },
            { "address": "001234560004", "name": "Drops", "services": )" +
                                 kObjectPush + R"(,
              "rfcomm": { "9": { "drop_after_bytes": 3000 } } },
            { "address": "001234560005", "name": "Plain", "services": )" +
                                 kObjectPush + R"(,
              "rfcomm": { "9": { "save_to": ")" +
                                 folder + R"(" } } },
            { "address": "001234560002", "name": "Strict" },
            { "address": "001234560006", "name": "Broken", "sdp": "error" },
            { "address": "001234560007", "name": "Far away", "sdp": "unreachable" }
          ] })";
        auto swappable = std::make_unique<SwappableStack>(fromFile(root.path, json));
        stack = swappable.get();
        EXPECT_TRUE(bluetooth::installNativeStack(std::move(swappable)))
            << "the native stack was chosen before the phones were in place";
    }

    std::filesystem::path inbox() const { return root.path / "inbox"; }

    // The stack of a neighbourhood file with that text, written into folder.
    std::shared_ptr<bluetooth::NativeStack> fromFile(const std::filesystem::path& folder,
                                                     const std::string& json) const {
        const std::filesystem::path file = fileWith(folder, "neighbourhood.json", json);
        return std::make_shared<bluetooth::NeighbourhoodStack>(
            bluetooth::loadNeighbourhoodFile(bluetooth::utf8Of(file)), launcher);
    }

    static Phones& get() {
        static Phones phones;
        return phones;
    }
};

// Puts the engine among the phones of another neighbourhood file while it lives; its phones stop
// when it goes.
class OtherPhones {
public:
    explicit OtherPhones(const std::string& json)
        : previous(Phones::get().stack->swap(Phones::get().fromFile(folder.path, json))) {}
    ~OtherPhones() { Phones::get().stack->swap(previous); }
    OtherPhones(const OtherPhones&) = delete;
    OtherPhones& operator=(const OtherPhones&) = delete;

private:
    testing::TempFolder folder;
    std::shared_ptr<bluetooth::NativeStack> previous;
};

}  // namespace flarecast::engine
