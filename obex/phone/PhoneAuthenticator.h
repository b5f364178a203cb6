#pragma once

#include <string>

#include "obex/auth/Authenticator.h"

namespace flarecast::obex {

// A phone with one password: it expects it from clients and gives it when they challenge.
class PhoneAuthenticator final : public Authenticator {
public:
    explicit PhoneAuthenticator(const std::string& password)
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
