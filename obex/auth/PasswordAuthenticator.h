#pragma once

#include <string>

#include "obex/auth/Authenticator.h"

namespace flarecast::obex {

// One password: expected from peers, and given when they challenge.
class PasswordAuthenticator final : public Authenticator {
public:
    explicit PasswordAuthenticator(const std::string& password)
        : password(password.begin(), password.end()) {}

    PasswordAuthentication onAuthenticationChallenge(const std::string& /*realm*/,
                                                     bool /*userIdRequired*/,
                                                     bool /*access*/) override {
        return {{}, password};
    }
    Bytes onAuthenticationResponse(const std::optional<Bytes>& /*userName*/) override {
        return password;
    }

private:
    const Bytes password;
};

}  // namespace flarecast::obex
