#pragma once

#include <array>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "obex/auth/Authenticator.h"
#include "obex/headers/HeaderSet.h"

namespace flarecast::obex {

using Nonce = std::array<std::uint8_t, 16>;

// A nonce from the operating system's random source.
Nonce newNonce();

// The AUTH_CHALLENGE value: nonce, options and realm (ISO-8859-1).
Bytes buildChallenge(const Nonce& nonce, const std::string& realm, bool userID, bool access);

struct Challenge {
    Nonce nonce{};
    bool userIdRequired = false;
    bool access = false;
    std::string realm;
};

// Reads a received challenge; one with only a nonce has options 0 and an empty realm. Shorter
// than a nonce, or an element that runs past the end, is an I/O error.
Challenge readChallenge(std::span<const std::uint8_t> challenge);

struct AuthResponse {
    std::array<std::uint8_t, 16> digest{};
    std::optional<Bytes> userId;
    Nonce nonce{};
};

// Reads a received response; without a nonce element the nonce is all zeros.
AuthResponse readAuthResponse(std::span<const std::uint8_t> response);

// MD5 over the nonce, ":" and the password.
std::array<std::uint8_t, 16> authDigest(const Nonce& nonce, std::span<const std::uint8_t> password);

// The AUTH_RESPONSE value that answers a received challenge.
Bytes createAuthResponse(Authenticator& authenticator, std::span<const std::uint8_t> challenge);

// The nonces that one session sent in its own challenges.
class IssuedNonces {
public:
    // Records the nonce of an outgoing AUTH_CHALLENGE value.
    void issued(std::span<const std::uint8_t> challenge);
    // Records the nonce of the AUTH_CHALLENGE in a set about to be sent, if it holds one.
    void issuedIn(const HeaderSet* headers);
    bool contains(const Nonce& nonce) const;

private:
    mutable std::mutex lock;
    std::vector<Nonce> nonces;
};

// Checks a peer's answer to one of our challenges: the nonce must be one we issued and the
// digest must match; otherwise an I/O error "Authentication failure".
void handleAuthResponse(std::span<const std::uint8_t> response, Authenticator& authenticator,
                        const IssuedNonces& issued);

}  // namespace flarecast::obex
