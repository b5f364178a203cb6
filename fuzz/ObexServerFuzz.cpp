// A client that sends a server session arbitrary bytes: the session must answer or drop the
// client, and end when the bytes do, whatever they hold.
#include <chrono>
#include <cstdlib>

#include "obex/server/ServerSession.h"
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

// Reads every object it is given and offers one to GET.
class Handler final : public ServerRequestHandler {
public:
    int onPutPacket(Operation& operation) override {
        operation.getReceivedHeaders();
        return 0x90;
    }
    int onPut(Operation& operation) override {
        const auto in = operation.openInputStream();
        std::uint8_t buffer[512];
        while (in->read(buffer) > 0) {
        }
        return ResponseCodes::OBEX_HTTP_OK;
    }
    int onGet(Operation& operation) override {
        operation.openOutputStream()->write(Bytes(700, 'g'));
        return ResponseCodes::OBEX_HTTP_OK;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The first byte chooses whether the session requires authentication.
    const bool authenticate = size > 0 && (data[0] & 1) != 0;
    auto client = std::make_shared<testing::PeerScript>();
    client->endWhenDone = true;
    if (size > 1) {
        client->answer(Bytes(data + 1, data + size));
    }
    Secrets secrets;
    ServerSession::Options options;
    options.authenticator = authenticate ? &secrets : nullptr;
    options.packetTimeout = std::chrono::seconds(5);
    ServerSession session(std::make_unique<testing::ScriptedConnection>(client),
                          std::make_shared<Handler>(), options);
    session.start();
    // The bytes end, so the session must: it closes the connection as it goes.
    if (!client->closedWithin()) {
        std::abort();
    }
    return 0;
}
