#pragma once

#include <optional>
#include <string>

#include "bluetooth/io/Streams.h"

namespace flarecast::obex {

using bluetooth::Bytes;

// A user name and a password, as byte strings.
class PasswordAuthentication {
public:
    PasswordAuthentication(Bytes userName, Bytes password)
        : userName(std::move(userName)), password(std::move(password)) {}
    const Bytes& getUserName() const { return userName; }
    const Bytes& getPassword() const { return password; }

private:
    Bytes userName;
    Bytes password;
};

// The application's side of OBEX authentication.
class Authenticator {
public:
    virtual ~Authenticator() = default;
    // Credentials to answer a peer's challenge.
    virtual PasswordAuthentication onAuthenticationChallenge(const std::string& realm,
                                                             bool userIdRequired, bool access) = 0;
    // The password expected from the user, who may have given no name.
    virtual Bytes onAuthenticationResponse(const std::optional<Bytes>& userName) = 0;
};

}  // namespace flarecast::obex
