#include <gtest/gtest.h>

#include <functional>

#include "ServedSession.h"
#include "obex/auth/Authentication.h"
#include "obex/auth/PasswordAuthenticator.h"

namespace flarecast::obex {
namespace {

using testing::body;
using testing::connectWith;
using testing::packet;
using testing::Served;

constexpr int kOk = ResponseCodes::OBEX_HTTP_OK;
constexpr int kUnauthorized = ResponseCodes::OBEX_HTTP_UNAUTHORIZED;

// The headers of a response; a CONNECT response carries four bytes of fields first.
HeaderSetImpl headersOf(const Bytes& response, bool toConnect = true) {
    return parseHeaders(toConnect ? 7 : 3, response);
}

// The nonce of the challenge in a response.
Nonce challengeIn(const Bytes& response, bool toConnect = true) {
    const auto challenge = headersOf(response, toConnect).get<Bytes>(HeaderSet::AUTH_CHALLENGE);
    EXPECT_TRUE(challenge.has_value());
    return challenge ? readChallenge(*challenge).nonce : Nonce{};
}

bool answers(const Bytes& response, bool toConnect = true) {
    return headersOf(response, toConnect).getHeader(HeaderSet::AUTH_RESPONSE).has_value();
}

Bytes challengeFor(const Nonce& nonce) {
    return buildChallenge(nonce, "", false, false);
}

// What a client that knows the password sends back for a nonce.
Bytes answerTo(const Nonce& nonce, const std::string& password = "secret") {
    PasswordAuthenticator client(password);
    return createAuthResponse(client, challengeFor(nonce));
}

HeaderSetImpl with(std::optional<Bytes> answer, std::optional<Bytes> challenge) {
    HeaderSetImpl headers;
    if (answer) {
        headers.setHeader(HeaderSet::AUTH_RESPONSE, std::move(*answer));
    }
    if (challenge) {
        headers.setHeader(HeaderSet::AUTH_CHALLENGE, std::move(*challenge));
    }
    return headers;
}

// A session that wants the password "secret", with what it answered so far.
struct Guarded {
    PasswordAuthenticator secret{"secret"};
    Served served{[this] {
        ServerSession::Options options;
        options.authenticator = &secret;
        return options;
    }()};
    std::size_t asked = 0;

    // The response to one more request.
    Bytes exchange(const Bytes& request) {
        served.client->answer(request);
        const auto responses = served.responses(++asked);
        // No answer reads as code 0 with no headers.
        return responses.size() == asked ? responses.back() : Bytes{0, 0, 7, 0, 0, 0, 0};
    }
};

TEST(ServerAuthentication, ReflectingTheServersOwnChallengeGivesAwayNothing) {
    Guarded guarded;
    const Bytes refused = guarded.exchange(connectWith({}));
    ASSERT_EQ(refused[0], kUnauthorized);
    const Nonce ours = challengeIn(refused);

    // The client sends our nonce back as a challenge of its own...
    const Bytes reflected = guarded.exchange(connectWith(with(std::nullopt, challengeFor(ours))));
    EXPECT_EQ(reflected[0], kUnauthorized);
    EXPECT_FALSE(answers(reflected));
    // ...and offers whatever it got as the answer to that nonce, then pushes.
    const auto leaked = headersOf(reflected).get<Bytes>(HeaderSet::AUTH_RESPONSE);
    EXPECT_EQ(guarded.exchange(
                  connectWith(with(leaked.value_or(answerTo(ours, "guess")), std::nullopt)))[0],
              kUnauthorized);
    EXPECT_EQ(guarded.exchange(packet(0x82, {}, body(HeaderSet::END_OF_BODY, {1}, "a.txt")))[0],
              kUnauthorized);
    const std::lock_guard guard(guarded.served.handler->lock);
    EXPECT_TRUE(guarded.served.handler->objects.empty());
}

TEST(ServerAuthentication, AClientsChallengeIsNeverAnsweredInARefusal) {
    // Each request comes after a CONNECT that was refused with the nonce given to it.
    struct Case {
        const char* what;
        std::function<Bytes(const Nonce&)> request;
        bool toConnect;
    };
    const Bytes theirs = challengeFor(newNonce());
    const Case cases[] = {
        {"CONNECT with a challenge alone",
         [&](const Nonce&) { return connectWith(with(std::nullopt, theirs)); }, true},
        {"CONNECT with a wrong answer",
         [&](const Nonce& ours) { return connectWith(with(answerTo(ours, "guess"), theirs)); },
         true},
        {"PUT", [&](const Nonce&) { return packet(0x82, {}, with(std::nullopt, theirs)); }, false},
        {"GET", [&](const Nonce&) { return packet(0x83, {}, with(std::nullopt, theirs)); }, false},
        {"SETPATH",
         [&](const Nonce&) {
             return packet(0x85, {0x02, 0x00}, with(std::nullopt, theirs));
         },
         false},
    };
    for (const auto& c : cases) {
        Guarded guarded;
        const Nonce ours = challengeIn(guarded.exchange(connectWith({})));
        const Bytes response = guarded.exchange(c.request(ours));
        EXPECT_EQ(response[0], kUnauthorized) << c.what;
        EXPECT_FALSE(answers(response, c.toConnect)) << c.what;
    }
}

TEST(ServerAuthentication, OnlyTheLatestNonceCountsAndOnlyOnce) {
    struct Case {
        const char* what;
        // The request to refuse, given the nonces of the two challenges before it.
        std::function<Bytes(const Nonce& first, const Nonce& second)> request;
    };
    const Case cases[] = {
        {"the answer to an earlier challenge",
         [](const Nonce& first, const Nonce&) {
             return connectWith(with(answerTo(first), std::nullopt));
         }},
        {"a challenge with our own nonce beside the right answer",
         [](const Nonce&, const Nonce& second) {
             return connectWith(with(answerTo(second), challengeFor(second)));
         }},
        {"an answer given a second time", [](const Nonce&, const Nonce&) { return Bytes{}; }},
    };
    for (const auto& c : cases) {
        Guarded guarded;
        const Nonce first = challengeIn(guarded.exchange(connectWith({})));
        const Nonce second = challengeIn(guarded.exchange(connectWith({})));
        Bytes request = c.request(first, second);
        if (request.empty()) {
            request = connectWith(with(answerTo(second), std::nullopt));
            ASSERT_EQ(guarded.exchange(request)[0], kOk) << c.what;
        }
        const Bytes refused = guarded.exchange(request);
        EXPECT_EQ(refused[0], kUnauthorized) << c.what;
        EXPECT_FALSE(answers(refused)) << c.what;
        // The road stays open to the answer to the latest challenge.
        EXPECT_EQ(
            guarded.exchange(connectWith(with(answerTo(challengeIn(refused)), std::nullopt)))[0],
            kOk)
            << c.what;
    }
}

TEST(ServerAuthentication, AClientThatProvesItselfGetsTheAnswerToItsOwnChallenge) {
    Guarded guarded;
    const Nonce theirs = newNonce();
    const Bytes refused = guarded.exchange(connectWith(with(std::nullopt, challengeFor(theirs))));
    ASSERT_EQ(refused[0], kUnauthorized);
    EXPECT_FALSE(answers(refused));

    const Bytes accepted =
        guarded.exchange(connectWith(with(answerTo(challengeIn(refused)), challengeFor(theirs))));
    ASSERT_EQ(accepted[0], kOk);
    const auto answer = headersOf(accepted).get<Bytes>(HeaderSet::AUTH_RESPONSE);
    ASSERT_TRUE(answer.has_value());
    const AuthResponse read = readAuthResponse(*answer);
    EXPECT_EQ(read.nonce, theirs);
    const std::string password = "secret";
    EXPECT_EQ(read.digest, authDigest(theirs, Bytes(password.begin(), password.end())));

    EXPECT_EQ(guarded.exchange(packet(0x82, {}, body(HeaderSet::END_OF_BODY, {1, 2}, "a.txt")))[0],
              kOk);
    const std::lock_guard guard(guarded.served.handler->lock);
    EXPECT_EQ(guarded.served.handler->objects.size(), 1U);
}

}  // namespace
}  // namespace flarecast::obex
