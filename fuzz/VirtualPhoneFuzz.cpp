// A client that sends a strict virtual phone, saving to a folder, arbitrary request bytes: the
// phone must answer or drop the client, whatever the bytes hold, and afterwards hold only whole
// objects, each a file directly in its folder under a name that is no path.
#include <cstdlib>
#include <filesystem>
#include <stop_token>

#include "bluetooth/io/Errors.h"
#include "bluetooth/io/Utf8Path.h"
#include "obex/phone/PhoneRequestHandler.h"
#include "obex/server/ServerSession.h"
#include "tests/common/TempFolder.h"
#include "tests/obex/ScriptedPeer.h"

using namespace flarecast::obex;
namespace fs = std::filesystem;

namespace {

using Profile = flarecast::bluetooth::VirtualPhoneProfile;

// What every input shares: the phone's description, its folder inside a folder of its own (so
// that a name that escapes would show), and one thread for the sessions' time limits.
struct Phone {
    flarecast::testing::TempFolder root;
    fs::path inbox = root.path / "inbox";
    Profile profile;
    std::shared_ptr<Deadlines> deadlines = std::make_shared<Deadlines>();
    std::stop_source stop;

    Phone() {
        fs::create_directory(inbox);
        profile.preset = Profile::Preset::Strict;
        profile.saveTo = flarecast::bluetooth::utf8Of(inbox);
    }

    // Checks what the session left, then empties the folder for the next input.
    void checkAndEmpty() const {
        for (const auto& entry : fs::directory_iterator(root.path)) {
            if (entry.path() != inbox) {
                std::abort();  // an object escaped its folder
            }
        }
        for (const auto& entry : fs::directory_iterator(inbox)) {
            if (!entry.is_regular_file() ||
                flarecast::bluetooth::utf8Of(entry.path().filename()).starts_with(".incoming-")) {
                std::abort();  // a partial object stayed, or a name made a folder
            }
            fs::remove(entry.path());
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Phone phone;
    auto client = std::make_shared<testing::PeerScript>();
    client->endWhenDone = true;
    client->answer(Bytes(data, data + size));
    ServerSession::Options options;
    options.maxPacketLength = phone.profile.maxPacket;
    options.deadlines = phone.deadlines;
    {
        ServerSession session(std::make_unique<testing::ScriptedConnection>(client),
                              std::make_shared<PhoneRequestHandler>(phone.profile,
                                                                    phone.stop.get_token()),
                              options);
        session.start();
        // The bytes end, so the session must: it closes the connection as it goes.
        if (!client->closedWithin()) {
            std::abort();
        }
    }
    phone.checkAndEmpty();
    return 0;
}
