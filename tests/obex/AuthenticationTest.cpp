#include <gtest/gtest.h>

#include "bluetooth/io/Errors.h"
#include "obex/auth/Authentication.h"
#include "obex/auth/MD5.h"
#include "obex/headers/HeaderSetImpl.h"
#include "tests/common/Hex.h"

namespace flarecast::obex {
namespace {

using flarecast::testing::hex;

TEST(MD5, MatchesTheRfc1321TestSuite) {
    struct Case {
        const char* text;
        const char* digest;
    };
    const Case cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MD5::of(std::string_view(c.text)), [&] {
            MD5::Digest expected{};
            const Bytes bytes = hex(c.digest);
            std::copy(bytes.begin(), bytes.end(), expected.begin());
            return expected;
        }()) << c.text;
    }
}

class FixedAuthenticator final : public Authenticator {
public:
    Bytes user;
    Bytes password;
    std::string lastRealm;
    bool lastUserIdRequired = false;
    std::optional<Bytes> lastUserName;

    PasswordAuthentication onAuthenticationChallenge(const std::string& realm, bool userIdRequired,
                                                     bool) override {
        lastRealm = realm;
        lastUserIdRequired = userIdRequired;
        return {user, password};
    }
    Bytes onAuthenticationResponse(const std::optional<Bytes>& userName) override {
        lastUserName = userName;
        return password;
    }
};

Bytes challengeOf(const std::string& realm, bool userID, bool access) {
    HeaderSetImpl set;
    set.createAuthenticationChallenge(realm, userID, access);
    return *set.get<Bytes>(HeaderSet::AUTH_CHALLENGE);
}

TEST(Authentication, ChallengesCarryANonceOptionsAndARealm) {
    const Bytes plain = challengeOf("", false, false);
    ASSERT_EQ(plain.size(), 24U);
    EXPECT_EQ(Bytes(plain.begin(), plain.begin() + 2), hex("00 10"));
    EXPECT_EQ(Bytes(plain.begin() + 18, plain.end()), hex("01 01 00 02 01 01"));
    const Bytes named = challengeOf("abc", true, false);
    ASSERT_EQ(named.size(), 27U);
    EXPECT_EQ(named[20], 0x01);
    EXPECT_EQ(Bytes(named.begin() + 21, named.end()), hex("02 04 01 61 62 63"));
    EXPECT_EQ(challengeOf("", false, true)[20], 0x02);
    // Nonces come from the random source, not the clock.
    EXPECT_NE(Bytes(plain.begin() + 2, plain.begin() + 18),
              Bytes(named.begin() + 2, named.begin() + 18));
}

TEST(Authentication, AnAnsweredChallengeVerifiesOnTheSideThatIssuedIt) {
    FixedAuthenticator client;
    client.user = {'u', 's', 'e', 'r'};
    client.password = {'s', 'e', 'c', 'r', 'e', 't'};
    FixedAuthenticator server;
    server.password = client.password;

    IssuedNonces issued;
    const Bytes challenge = challengeOf("Flarecast", true, false);
    issued.issued(challenge);
    const Bytes response = createAuthResponse(client, challenge);
    EXPECT_EQ(client.lastRealm, "Flarecast");
    EXPECT_TRUE(client.lastUserIdRequired);
    ASSERT_EQ(response.size(), 38U + 4);
    EXPECT_EQ(Bytes(response.begin() + 18, response.begin() + 24), hex("01 04 75736572"));
    EXPECT_EQ(Bytes(response.begin() + 24, response.begin() + 26), hex("02 10"));
    EXPECT_EQ(Bytes(response.begin() + 26, response.end()),
              Bytes(challenge.begin() + 2, challenge.begin() + 18));
    EXPECT_NO_THROW(handleAuthResponse(response, server, issued));
    EXPECT_EQ(server.lastUserName, client.user);

    // Each failure against a fresh record of the one challenge.
    const auto failsWith = [&](const Bytes& answer, bool issuedIt = true) {
        IssuedNonces nonces;
        if (issuedIt) {
            nonces.issued(challenge);
        }
        try {
            handleAuthResponse(answer, server, nonces);
            return std::string("no error");
        } catch (const bluetooth::IOError& error) {
            return error.getMessage();
        }
    };
    server.password = {'w', 'r', 'o', 'n', 'g'};
    EXPECT_EQ(failsWith(response), "Authentication failure");
    server.password = client.password;
    EXPECT_EQ(failsWith(response, false), "Authentication failure");
    EXPECT_EQ(failsWith(Bytes(response.begin(), response.begin() + 10)), "Authentication failure");
}

TEST(Authentication, OnlyTheLatestNonceIssuedOpensAndOnlyOnce) {
    FixedAuthenticator peer;
    peer.password = {'p', 'w'};
    const auto accepted = [&](IssuedNonces& issued, const Bytes& challenge) {
        try {
            handleAuthResponse(createAuthResponse(peer, challenge), peer, issued);
            return true;
        } catch (const bluetooth::IOError&) {
            return false;
        }
    };
    const Bytes first = challengeOf("", false, false);
    const Bytes second = challengeOf("", false, false);
    const auto nonceOf = [](const Bytes& challenge) { return readChallenge(challenge).nonce; };

    IssuedNonces issued;
    issued.issued(first);
    issued.issued(second);
    EXPECT_TRUE(issued.wasIssued(nonceOf(first)));
    EXPECT_FALSE(issued.wasIssued(nonceOf(challengeOf("", false, false))));
    EXPECT_FALSE(accepted(issued, first));
    // The same challenge sent again stays open to its one answer.
    issued.issued(second);
    EXPECT_TRUE(accepted(issued, second));
    EXPECT_FALSE(accepted(issued, second));
    issued.issued(second);
    EXPECT_FALSE(accepted(issued, second));

    // A wrong answer spends the nonce too.
    IssuedNonces once;
    once.issued(first);
    FixedAuthenticator guesser;
    guesser.password = {'x'};
    EXPECT_THROW(handleAuthResponse(createAuthResponse(guesser, first), peer, once),
                 bluetooth::IOError);
    EXPECT_FALSE(accepted(once, first));
}

TEST(Authentication, ReadersStayInsideTheHeader) {
    FixedAuthenticator client;
    const Bytes nonceOnly = hex("00 10 000102030405060708090A0B0C0D0E0F");
    const Challenge bare = readChallenge(nonceOnly);
    EXPECT_FALSE(bare.userIdRequired);
    EXPECT_EQ(bare.realm, "");
    EXPECT_EQ(createAuthResponse(client, nonceOnly).size(), 36U);

    const char* broken[] = {
        "00 10 0001",                                                   // no whole nonce
        "00 10 000102030405060708090A0B0C0D0E0F 01 01 00 02 09 01 61",  // realm past the end
    };
    for (const char* bytes : broken) {
        EXPECT_THROW(readChallenge(hex(bytes)), bluetooth::IOError) << bytes;
    }
    EXPECT_THROW(readAuthResponse(hex("00 10 000102030405060708090A0B0C0D0E0F 01 09 61")),
                 bluetooth::IOError);
    EXPECT_THROW(readAuthResponse(hex("00 10 000102030405060708090A0B0C0D0E0F 02 10 01")),
                 bluetooth::IOError);
    const AuthResponse noNonce = readAuthResponse(hex("00 10 000102030405060708090A0B0C0D0E0F"));
    EXPECT_EQ(noNonce.nonce, Nonce{});

    const Challenge utf8 =
        readChallenge(hex("00 10 000102030405060708090A0B0C0D0E0F 01 01 03 02 03 FF C3A9"));
    EXPECT_EQ(utf8.realm, "é");
    EXPECT_TRUE(utf8.access);
}

}  // namespace
}  // namespace flarecast::obex
