// A peer that answers a client session with arbitrary bytes: CONNECT, PUT with a body, GET,
// SETPATH and DISCONNECT must each end normally or with an I/O error.
#include <cstdio>

#include "bluetooth/io/Errors.h"
#include "obex/session/OBEXConnection.h"
#include "tests/obex/ScriptedPeer.h"

using namespace flarecast::obex;

namespace {

class Secrets final : public Authenticator {
public:
    PasswordAuthentication onAuthenticationChallenge(const std::string&, bool, bool) override {
        return {{'u'}, {'p'}};
    }
    Bytes onAuthenticationResponse(const std::optional<Bytes>&) override { return {'p'}; }
};

template <typename Step>
void attempt(Step&& step) {
    try {
        step();
    } catch (const flarecast::bluetooth::IOError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The first byte chooses whether the session authenticates.
    const bool authenticate = size > 0 && (data[0] & 1) != 0;
    auto peer = std::make_shared<testing::PeerScript>();
    peer->endWhenDone = true;
    if (size > 1) {
        peer->answer(Bytes(data + 1, data + size));
    }
    Secrets secrets;
    OBEXConnection session(std::make_unique<testing::ScriptedConnection>(peer));
    if (authenticate) {
        session.setAuthenticator(&secrets);
    }
    HeaderSetImpl headers;
    headers.setHeader(HeaderSet::NAME, std::string("offer.jpg"));
    if (authenticate) {
        headers.createAuthenticationChallenge("fuzz", true, true);
    }
    attempt([&] { session.connect(&headers); });
    attempt([&] {
        auto put = session.put(&headers);
        put->openOutputStream()->write(Bytes(3000, 0x55));
        put->close();
    });
    attempt([&] {
        auto get = session.get(&headers);
        Bytes buffer(512);
        while (get->openInputStream()->read(buffer) > 0) {
        }
        get->close();
    });
    attempt([&] { session.setPath(&headers, true, false); });
    attempt([&] { session.disconnect(nullptr); });
    return 0;
}
