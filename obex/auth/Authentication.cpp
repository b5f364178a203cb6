#include "obex/auth/Authentication.h"

#include <algorithm>

#include "bluetooth/io/Errors.h"
#include "obex/auth/MD5.h"
#include "obex/auth/SecureRandom.h"
#include "obex/headers/TextEncoding.h"

namespace flarecast::obex {

namespace {

constexpr std::uint8_t kNonceTag = 0x00;
constexpr std::uint8_t kOptionsTag = 0x01;
constexpr std::uint8_t kRealmTag = 0x02;
constexpr std::uint8_t kDigestTag = 0x00;
constexpr std::uint8_t kUserIdTag = 0x01;
constexpr std::uint8_t kResponseNonceTag = 0x02;

[[noreturn]] void malformed() {
    throw bluetooth::IOError("Malformed authentication header");
}

// Text in the character set of a realm element: ASCII and UTF-8 as they are, the ISO-8859
// sets (and anything else) read as ISO-8859-1.
std::string realmText(std::uint8_t charset, std::span<const std::uint8_t> text) {
    if (charset == 0x00 || charset == 0xFF) {
        return {text.begin(), text.end()};
    }
    return fromLatin1(text);
}

bool equalInConstantTime(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
    if (a.size() != b.size()) {
        return false;
    }
    std::uint8_t difference = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        difference = static_cast<std::uint8_t>(difference | (a[i] ^ b[i]));
    }
    return difference == 0;
}

}  // namespace

Nonce newNonce() {
    Nonce nonce{};
    fillRandom(nonce);
    return nonce;
}

Bytes buildChallenge(const Nonce& nonce, const std::string& realm, bool userID, bool access) {
    const Bytes realmBytes = toLatin1(realm);
    if (realmBytes.size() > 254) {
        throw bluetooth::IllegalArgumentError("realm too long");
    }
    Bytes challenge;
    challenge.reserve(24 + realmBytes.size());
    challenge.push_back(kNonceTag);
    challenge.push_back(0x10);
    challenge.insert(challenge.end(), nonce.begin(), nonce.end());
    challenge.push_back(kOptionsTag);
    challenge.push_back(0x01);
    challenge.push_back(static_cast<std::uint8_t>((userID ? 0x01 : 0) | (access ? 0x02 : 0)));
    challenge.push_back(kRealmTag);
    challenge.push_back(static_cast<std::uint8_t>(realmBytes.size() + 1));
    challenge.push_back(0x01);
    challenge.insert(challenge.end(), realmBytes.begin(), realmBytes.end());
    return challenge;
}

Challenge readChallenge(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 18) {
        malformed();
    }
    Challenge challenge;
    std::copy_n(bytes.begin() + 2, 16, challenge.nonce.begin());
    if (bytes.size() > 20) {
        challenge.userIdRequired = (bytes[20] & 0x01) != 0;
        challenge.access = (bytes[20] & 0x02) != 0;
    }
    if (bytes.size() > 23 && bytes[21] == kRealmTag) {
        const std::size_t length = bytes[22];
        if (length == 0 || 23 + length > bytes.size()) {
            malformed();
        }
        challenge.realm = realmText(bytes[23], bytes.subspan(24, length - 1));
    }
    return challenge;
}

AuthResponse readAuthResponse(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 18) {
        malformed();
    }
    AuthResponse response;
    std::copy_n(bytes.begin() + 2, 16, response.digest.begin());
    std::size_t next = 18;
    if (bytes.size() > 19 && bytes[18] == kUserIdTag) {
        const std::size_t length = bytes[19];
        if (20 + length > bytes.size()) {
            malformed();
        }
        response.userId = Bytes(bytes.begin() + 20, bytes.begin() + 20 + length);
        next = 20 + length;
    }
    if (next < bytes.size() && bytes[next] == kResponseNonceTag) {
        if (next + 18 > bytes.size()) {
            malformed();
        }
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(next + 2), 16,
                    response.nonce.begin());
    }
    return response;
}

std::array<std::uint8_t, 16> authDigest(const Nonce& nonce,
                                        std::span<const std::uint8_t> password) {
    MD5 md5;
    md5.update(nonce);
    const std::uint8_t colon = ':';
    md5.update({&colon, 1});
    md5.update(password);
    return md5.finish();
}

Bytes createAuthResponse(Authenticator& authenticator, std::span<const std::uint8_t> bytes) {
    const Challenge challenge = readChallenge(bytes);
    const PasswordAuthentication credentials = authenticator.onAuthenticationChallenge(
        challenge.realm, challenge.userIdRequired, challenge.access);
    const auto digest = authDigest(challenge.nonce, credentials.getPassword());
    Bytes response;
    response.reserve(38 + credentials.getUserName().size());
    response.push_back(kDigestTag);
    response.push_back(0x10);
    response.insert(response.end(), digest.begin(), digest.end());
    if (challenge.userIdRequired) {
        const Bytes& user = credentials.getUserName();
        if (user.size() > 255) {
            throw bluetooth::IllegalArgumentError("user name too long");
        }
        response.push_back(kUserIdTag);
        response.push_back(static_cast<std::uint8_t>(user.size()));
        response.insert(response.end(), user.begin(), user.end());
    }
    response.push_back(kResponseNonceTag);
    response.push_back(0x10);
    response.insert(response.end(), challenge.nonce.begin(), challenge.nonce.end());
    return response;
}

void IssuedNonces::issuedIn(const HeaderSet* headers) {
    if (headers == nullptr) {
        return;
    }
    if (const auto challenge = headers->getHeader(HeaderSet::AUTH_CHALLENGE);
        challenge && std::holds_alternative<Bytes>(*challenge)) {
        issued(std::get<Bytes>(*challenge));
    }
}

void IssuedNonces::issued(std::span<const std::uint8_t> challenge) {
    if (challenge.size() < 18 || challenge[0] != kNonceTag) {
        return;
    }
    Nonce nonce{};
    std::copy_n(challenge.begin() + 2, 16, nonce.begin());
    const std::lock_guard guard(lock);
    if (!recent.empty() && recent.back() == nonce) {
        return;
    }
    recent.push_back(nonce);
    if (recent.size() > kRemembered) {
        recent.pop_front();
    }
    latestOpen = true;
}

bool IssuedNonces::wasIssued(const Nonce& nonce) const {
    const std::lock_guard guard(lock);
    return std::find(recent.begin(), recent.end(), nonce) != recent.end();
}

bool IssuedNonces::redeem(const Nonce& nonce) {
    const std::lock_guard guard(lock);
    if (!latestOpen || recent.empty() || recent.back() != nonce) {
        return false;
    }
    latestOpen = false;
    return true;
}

void handleAuthResponse(std::span<const std::uint8_t> bytes, Authenticator& authenticator,
                        IssuedNonces& issued) {
    AuthResponse response;
    try {
        response = readAuthResponse(bytes);
    } catch (const bluetooth::IOError&) {
        throw bluetooth::IOError("Authentication failure");
    }
    if (!issued.redeem(response.nonce)) {
        throw bluetooth::IOError("Authentication failure");
    }
    const Bytes password = authenticator.onAuthenticationResponse(response.userId);
    const auto expected = authDigest(response.nonce, password);
    if (!equalInConstantTime(response.digest, expected)) {
        throw bluetooth::IOError("Authentication failure");
    }
}

}  // namespace flarecast::obex
