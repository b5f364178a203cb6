// Reads arbitrary bytes as a received challenge and as a received response.
#include "bluetooth/io/Errors.h"
#include "obex/auth/Authentication.h"

using namespace flarecast::obex;

namespace {

class Secrets final : public Authenticator {
public:
    PasswordAuthentication onAuthenticationChallenge(const std::string&, bool, bool) override {
        return {Bytes(300, 'u'), {'p'}};
    }
    Bytes onAuthenticationResponse(const std::optional<Bytes>&) override { return {'p'}; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    Secrets secrets;
    try {
        createAuthResponse(secrets, bytes);
    } catch (const flarecast::bluetooth::IOError&) {
    } catch (const flarecast::bluetooth::IllegalArgumentError&) {
        // The user name given here is too long for the header.
    }
    IssuedNonces issued;
    issued.issued(bytes);
    try {
        handleAuthResponse(bytes, secrets, issued);
    } catch (const flarecast::bluetooth::IOError&) {
    }
    return 0;
}
