#pragma once

#include <array>
#include <deque>
#include <mutex>
#include <optional>
#include <span>
#include <string>

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

// The nonces that one session sent in its own challenges. Only the latest one may be answered,
// and only once, so that an answer seen once or one to an earlier challenge opens nothing.
class IssuedNonces {
public:
    // Records the nonce of an outgoing AUTH_CHALLENGE value; sending the latest challenge again
    // leaves it as it was.
    void issued(std::span<const std::uint8_t> challenge);
    // Records the nonce of the AUTH_CHALLENGE in a set about to be sent, if it holds one.
    void issuedIn(const HeaderSet* headers);
    // Whether the nonce is one this side issued lately, so that a peer's challenge carrying it
    // is our own reflected.
    bool wasIssued(const Nonce& nonce) const;
    // True for the latest nonce while it is unanswered; it is spent from then on.
    bool redeem(const Nonce& nonce);

private:
    // Enough to recognise a reflected challenge; a peer that makes us issue more only pushes
    // out nonces that no answer can use any more.
    static constexpr std::size_t kRemembered = 64;

    mutable std::mutex lock;
    std::deque<Nonce> recent;
    bool latestOpen = false;
};

// Checks a peer's answer to one of our challenges: it must answer the latest nonce, not yet
// answered, with the right digest; otherwise an I/O error "Authentication failure". The nonce is
// spent by any answer that can be read, right or wrong.
void handleAuthResponse(std::span<const std::uint8_t> response, Authenticator& authenticator,
                        IssuedNonces& issued);

}  // namespace flarecast::obex
