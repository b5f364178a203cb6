#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "ScriptedPeer.h"
#include "bluetooth/io/Errors.h"
#include "obex/Errors.h"
#include "obex/auth/Authentication.h"
#include "obex/auth/PasswordAuthenticator.h"
#include "obex/headers/HeaderCodec.h"
#include "obex/session/OBEXConnection.h"
#include "tests/common/Hex.h"
#include "tests/common/ProcessCounts.h"

namespace flarecast::obex {
namespace {

using flarecast::testing::hex;
using flarecast::testing::threadsOfThisProcess;
using testing::PeerScript;
using testing::ScriptedConnection;

const Bytes kConnected = hex("A0 0007 10 00 2000");
const Bytes kConnectedWithId = hex("A0 000C 10 00 2000 CB 00000001");
const Bytes kOk = hex("A0 0003");
const Bytes kContinue = hex("90 0003");

class SessionTest : public ::testing::Test {
protected:
    std::shared_ptr<PeerScript> peer = std::make_shared<PeerScript>();
    OBEXConnection session{std::make_unique<ScriptedConnection>(peer)};

    // The kind of the error that errorOf caught last: "refused CODE", "silent", "lost" or "other".
    std::string kind;

    std::string errorOf(const std::function<void()>& action) {
        try {
            action();
        } catch (const bluetooth::IOError& error) {
            kind = kindOf(error);
            return error.getMessage();
        }
        kind.clear();
        return "no error";
    }

    static std::string kindOf(const bluetooth::IOError& error) {
        if (const auto* refusal = dynamic_cast<const ResponseError*>(&error)) {
            return "refused " + std::to_string(refusal->responseCode());
        }
        if (dynamic_cast<const NoResponseError*>(&error) != nullptr) {
            return "silent";
        }
        return dynamic_cast<const ConnectionLostError*>(&error) != nullptr ? "lost" : "other";
    }
};

TEST_F(SessionTest, ConnectAnnouncesVersionFlagsAndPacketSize) {
    peer->answer(kConnected);
    HeaderSetImpl headers;
    const HeaderSetImpl reply = session.connect(&headers);
    EXPECT_EQ(peer->sent(), std::vector<Bytes>{hex("80 0007 10 00 2000")});
    EXPECT_EQ(reply.getResponseCode(), 0xA0);
    EXPECT_EQ(session.getConnectionID(), -1);
}

TEST_F(SessionTest, TheConnectionIdGoesIntoEveryLaterRequest) {
    peer->answer(kConnectedWithId);
    peer->answer(kOk);
    peer->answer(kOk);
    HeaderSetImpl reply = session.connect(nullptr);
    EXPECT_EQ(session.getConnectionID(), 1);
    EXPECT_EQ(reply.get<std::int64_t>(HeaderSet::CONNECTION_ID), 1);
    // The set the peer answered with can be passed on: its id is not written twice.
    session.setPath(&reply, false, true);
    session.disconnect(nullptr);
    const auto sent = peer->sent();
    ASSERT_EQ(sent.size(), 3U);
    EXPECT_EQ(sent[1], hex("85 000A 00 00 CB 00000001"));
    EXPECT_EQ(sent[2], hex("81 0008 CB 00000001"));
}

TEST_F(SessionTest, ThePeersPacketSizeIsUsedAsItIs) {
    for (const auto& [answer, mtu] : std::vector<std::pair<const char*, int>>{
             {"A0 0007 10 00 0400", 1024}, {"A0 0007 10 00 FFFF", 65535}}) {
        auto script = std::make_shared<PeerScript>();
        OBEXConnection other(std::make_unique<ScriptedConnection>(script));
        script->answer(hex(answer));
        other.connect(nullptr);
        EXPECT_EQ(other.getMTU(), mtu);
    }
}

TEST_F(SessionTest, SetPathPutsItsFlagsFirst) {
    peer->answer(hex("C4 0003"));
    const HeaderSetImpl reply = session.setPath(nullptr, true, false);
    EXPECT_EQ(peer->sent(), std::vector<Bytes>{hex("85 0005 03 00")});
    EXPECT_EQ(reply.getResponseCode(), 0xC4);
}

TEST_F(SessionTest, RefusalsAndBrokenAnswersAreIOErrorsOfTheirKind) {
    struct Case {
        Bytes answer;
        std::function<void(OBEXConnection&)> action;
        const char* error;
        const char* kind;
    };
    const Case cases[] = {
        {hex("C3 0003"), [](OBEXConnection& s) { s.connect(nullptr); },
         "Connection not accepted 195", "refused 195"},
        {hex("A0 0005 10 00"), [](OBEXConnection& s) { s.connect(nullptr); },
         "Malformed CONNECT response", "other"},
        {hex("C0 0003"), [](OBEXConnection& s) { s.disconnect(nullptr); }, "Disconnection error",
         "refused 192"},
        {hex("A0 0002"), [](OBEXConnection& s) { s.disconnect(nullptr); },
         "Malformed packet length 2", "other"},
        {hex("A0 0009 10"), [](OBEXConnection& s) { s.connect(nullptr); },
         "End of stream while reading a packet", "lost"},
        {hex("A0"), [](OBEXConnection& s) { s.disconnect(nullptr); },
         "End of stream while reading a packet", "lost"},
    };
    for (const auto& c : cases) {
        auto script = std::make_shared<PeerScript>();
        script->endWhenDone = true;
        script->answer(c.answer);
        OBEXConnection other(std::make_unique<ScriptedConnection>(script));
        EXPECT_EQ(errorOf([&] { c.action(other); }), c.error);
        EXPECT_EQ(kind, c.kind) << c.error;
    }
}

TEST_F(SessionTest, APeerThatFallsSilentEndsTheWaitWithAnIOError) {
    session.setResponseTimeout(std::chrono::milliseconds(50));
    EXPECT_EQ(errorOf([&] { session.connect(nullptr); }), "No response from the peer");
    EXPECT_EQ(kind, "silent");
}

TEST(SessionLimits, PushesInFlightHoldOnlyTheirOwnThreadsAndEndOnTheLimitOrAClose) {
    constexpr std::size_t kPushes = 6;
    constexpr auto kBound = std::chrono::seconds(30);
    struct Case {
        const char* what;
        std::chrono::milliseconds limit;
        // Another thread closes each session while its push waits for the peer.
        bool closed;
        const char* error;
    };
    const Case cases[] = {
        {"a silent peer", std::chrono::milliseconds(100), false, "No response from the peer"},
        {"closed by another thread", std::chrono::hours(1), true, nullptr},
    };
    // A sanitizer's runtime starts a thread of its own with the process's first thread; it must
    // be there before the count starts.
    std::thread([] {}).join();
    for (const auto& c : cases) {
        const std::size_t threadsBefore = threadsOfThisProcess();
        std::vector<std::shared_ptr<PeerScript>> peers;
        std::vector<std::unique_ptr<OBEXConnection>> sessions;
        std::vector<std::future<std::string>> errors;
        std::vector<std::thread> pushes;
        for (std::size_t i = 0; i < kPushes; ++i) {
            peers.push_back(std::make_shared<PeerScript>());
            // The peer takes the CONNECT, then never answers the PUT.
            peers.back()->answer(kConnected);
            sessions.push_back(
                std::make_unique<OBEXConnection>(std::make_unique<ScriptedConnection>(peers[i])));
            sessions.back()->setResponseTimeout(c.limit);
            std::promise<std::string> error;
            errors.push_back(error.get_future());
            pushes.emplace_back([&session = *sessions.back(), error = std::move(error)]() mutable {
                try {
                    session.connect(nullptr);
                    HeaderSetImpl headers;
                    headers.setHeader(HeaderSet::NAME, std::string("a.txt"));
                    const auto put = session.put(&headers);
                    error.set_value("no error");
                } catch (const bluetooth::IOError& failure) {
                    error.set_value(failure.getMessage());
                }
            });
        }
        // Every push has sent its PUT and waits for the answer.
        for (const auto& peer : peers) {
            EXPECT_EQ(peer->sentOnce(2, kBound).size(), 2U) << c.what;
        }
        if (c.closed) {
            // The pushes wait for ever: the count cannot race with their ends.
            EXPECT_LE(threadsOfThisProcess(), threadsBefore + kPushes + 1)
                << "one thread a push, and the one that keeps every session's limits";
            for (const auto& session : sessions) {
                session->close();
            }
        }
        for (auto& error : errors) {
            if (error.wait_for(kBound) != std::future_status::ready) {
                ADD_FAILURE() << c.what << ": a push did not end";
                for (const auto& session : sessions) {
                    session->close();
                }
            }
            const std::string message = error.get();
            if (c.error != nullptr) {
                EXPECT_EQ(message, c.error) << c.what;
            } else {
                EXPECT_NE(message, "no error") << c.what;
                EXPECT_NE(message, "No response from the peer") << c.what;
            }
        }
        for (auto& push : pushes) {
            push.join();
        }
        sessions.clear();
        EXPECT_LE(threadsOfThisProcess(), threadsBefore) << c.what << ": a thread outlived them";
    }
}

class Secrets final : public Authenticator {
public:
    Bytes password = {'p', 'w'};
    PasswordAuthentication onAuthenticationChallenge(const std::string&, bool, bool) override {
        return {{}, password};
    }
    Bytes onAuthenticationResponse(const std::optional<Bytes>&) override { return password; }
};

Bytes packetWith(int code, std::size_t fields, const HeaderSetImpl& headers) {
    const Bytes headerBytes = hsToByteArray(&headers);
    Bytes packet = hex(fields == 7 ? "00 0000 10 00 2000" : "00 0000");
    packet[0] = static_cast<std::uint8_t>(code);
    packet.insert(packet.end(), headerBytes.begin(), headerBytes.end());
    packet[1] = static_cast<std::uint8_t>(packet.size() >> 8);
    packet[2] = static_cast<std::uint8_t>(packet.size());
    return packet;
}

TEST_F(SessionTest, AChallengedConnectIsSentAgainWithTheAnswer) {
    for (const bool withHeaders : {true, false}) {
        auto script = std::make_shared<PeerScript>();
        OBEXConnection client(std::make_unique<ScriptedConnection>(script));
        Secrets secrets;
        client.setAuthenticator(&secrets);
        HeaderSetImpl challenge;
        challenge.createAuthenticationChallenge("peer", false, false);
        script->answer(packetWith(0xC1, 7, challenge));
        script->answer(kConnected);
        HeaderSetImpl mine;
        EXPECT_EQ(client.connect(withHeaders ? &mine : nullptr).getResponseCode(), 0xA0);
        const auto sent = script->sent();
        ASSERT_EQ(sent.size(), 2U);
        const HeaderSetImpl second = parseHeaders(7, sent[1]);
        const auto answer = second.get<Bytes>(HeaderSet::AUTH_RESPONSE);
        ASSERT_TRUE(answer.has_value()) << "with headers: " << withHeaders;
        EXPECT_EQ(mine.getHeader(HeaderSet::AUTH_RESPONSE).has_value(), withHeaders);
        const Bytes theirs = *challenge.get<Bytes>(HeaderSet::AUTH_CHALLENGE);
        EXPECT_EQ(readAuthResponse(*answer).digest,
                  authDigest(readChallenge(theirs).nonce, secrets.password));
    }
}

TEST_F(SessionTest, ThePeersAuthenticationHeadersAreNotPassedOnToTheNextRequest) {
    Secrets secrets;
    HeaderSetImpl peersHeaders;
    peersHeaders.createAuthenticationChallenge("peer", false, false);
    peersHeaders.setHeader(
        HeaderSet::AUTH_RESPONSE,
        createAuthResponse(secrets, *peersHeaders.get<Bytes>(HeaderSet::AUTH_CHALLENGE)));
    peersHeaders.setHeader(HeaderSet::WHO, Bytes{1, 2});
    peer->answer(packetWith(0xA0, 7, peersHeaders));
    peer->answer(kContinue);
    HeaderSetImpl reply = session.connect(nullptr);
    EXPECT_FALSE(reply.getHeader(HeaderSet::AUTH_CHALLENGE).has_value());
    EXPECT_FALSE(reply.getHeader(HeaderSet::AUTH_RESPONSE).has_value());
    EXPECT_EQ(reply.get<Bytes>(HeaderSet::WHO), (Bytes{1, 2}));
    reply.setHeader(HeaderSet::NAME, std::string("a"));
    const auto operation = session.put(&reply);
    const HeaderSetImpl put = parseHeaders(3, peer->sent().at(1));
    EXPECT_EQ(put.getHeaderList(), (std::vector<int>{HeaderSet::NAME, HeaderSet::WHO}));
}

TEST_F(SessionTest, APeersAnswerMustEchoOurOwnNonceWithTheRightDigest) {
    Secrets secrets;
    session.setAuthenticator(&secrets);
    HeaderSetImpl mine;
    mine.createAuthenticationChallenge("", false, false);
    const Bytes ourChallenge = *mine.get<Bytes>(HeaderSet::AUTH_CHALLENGE);
    // The peer answers our challenge correctly.
    HeaderSetImpl good;
    good.setHeader(HeaderSet::AUTH_RESPONSE, createAuthResponse(secrets, ourChallenge));
    peer->answer(packetWith(0xA0, 7, good));
    EXPECT_NO_THROW(session.connect(&mine));

    // An answer to a nonce this session never sent fails, even with a right digest.
    auto script = std::make_shared<PeerScript>();
    OBEXConnection other(std::make_unique<ScriptedConnection>(script));
    other.setAuthenticator(&secrets);
    script->answer(packetWith(0xA0, 7, good));
    EXPECT_EQ(errorOf([&] { other.connect(nullptr); }), "Authentication failure");
}

// What the server puts into its accepting response to a request that challenged it.
enum class Proof { None, Right, WrongPassword, OldNonce };

TEST_F(SessionTest, AServerThatAcceptsOurChallengeMustProveItKnowsThePassword) {
    enum class Request { Connect, Put, Get };
    // The server's first response to the request: it accepts, or challenges the client (with a
    // nonce of its own, or with ours sent back) and accepts the request sent again.
    enum class First { Accept, Challenge, Reflect };
    struct Case {
        const char* what;
        Request request;
        First first;
        bool clientChallenges;
        Proof proof;
        bool fails;
    };
    const Case cases[] = {
        {"CONNECT, right answer", Request::Connect, First::Accept, true, Proof::Right, false},
        {"CONNECT after our answer, right", Request::Connect, First::Challenge, true, Proof::Right,
         false},
        {"CONNECT, no answer", Request::Connect, First::Accept, true, Proof::None, true},
        {"CONNECT after our answer, no answer", Request::Connect, First::Challenge, true,
         Proof::None, true},
        {"CONNECT after our answer, other password", Request::Connect, First::Challenge, true,
         Proof::WrongPassword, true},
        {"CONNECT after our answer, old nonce", Request::Connect, First::Challenge, true,
         Proof::OldNonce, true},
        {"CONNECT, not challenged", Request::Connect, First::Challenge, false, Proof::None, false},
        {"PUT, right answer", Request::Put, First::Accept, true, Proof::Right, false},
        {"PUT after our answer, right", Request::Put, First::Challenge, true, Proof::Right, false},
        {"PUT, no answer", Request::Put, First::Accept, true, Proof::None, true},
        {"PUT after our answer, no answer", Request::Put, First::Challenge, true, Proof::None,
         true},
        {"PUT after our answer, other password", Request::Put, First::Challenge, true,
         Proof::WrongPassword, true},
        {"PUT, old nonce", Request::Put, First::Accept, true, Proof::OldNonce, true},
        {"PUT, not challenged", Request::Put, First::Challenge, false, Proof::None, false},
        {"GET, right answer", Request::Get, First::Accept, true, Proof::Right, false},
        {"GET after our answer, no answer", Request::Get, First::Challenge, true, Proof::None,
         true},
        {"GET after our answer, other password", Request::Get, First::Challenge, true,
         Proof::WrongPassword, true},
        {"GET, old nonce", Request::Get, First::Accept, true, Proof::OldNonce, true},
        // What we would answer to our own challenge is the proof it asks for.
        {"CONNECT, our challenge sent back", Request::Connect, First::Reflect, true, Proof::Right,
         true},
        {"PUT, our challenge sent back", Request::Put, First::Reflect, true, Proof::Right, true},
    };
    PasswordAuthenticator password("pw");
    PasswordAuthenticator other("wrong");
    for (const auto& c : cases) {
        auto script = std::make_shared<PeerScript>();
        OBEXConnection client(std::make_unique<ScriptedConnection>(script));
        client.setAuthenticator(&password);
        // A first CONNECT that challenges the server, answered rightly, leaves an old nonce.
        HeaderSetImpl first;
        first.createAuthenticationChallenge("", false, false);
        const Bytes oldChallenge = *first.get<Bytes>(HeaderSet::AUTH_CHALLENGE);
        script->answer(packetWith(0xA0, 7, [&] {
            HeaderSetImpl proof;
            proof.setHeader(HeaderSet::AUTH_RESPONSE, createAuthResponse(password, oldChallenge));
            return proof;
        }()));
        const std::size_t fields = c.request == Request::Connect ? 7 : 3;
        HeaderSetImpl request;
        if (c.clientChallenges) {
            request.createAuthenticationChallenge("", false, false);
        }
        const auto ours = request.get<Bytes>(HeaderSet::AUTH_CHALLENGE);
        if (c.first != First::Accept) {
            HeaderSetImpl challenge;
            challenge.createAuthenticationChallenge("server", false, false);
            if (c.first == First::Reflect) {
                challenge.setHeader(HeaderSet::AUTH_CHALLENGE, *ours);
            }
            script->answer(packetWith(0xC1, fields, challenge));
        }
        HeaderSetImpl accepting;
        switch (c.proof) {
            case Proof::None:
                break;
            case Proof::Right:
                accepting.setHeader(HeaderSet::AUTH_RESPONSE, createAuthResponse(password, *ours));
                break;
            case Proof::WrongPassword:
                accepting.setHeader(HeaderSet::AUTH_RESPONSE, createAuthResponse(other, *ours));
                break;
            case Proof::OldNonce:
                accepting.setHeader(HeaderSet::AUTH_RESPONSE,
                                    createAuthResponse(password, oldChallenge));
                break;
        }
        if (c.request == Request::Get) {
            accepting.setHeader(HeaderSet::END_OF_BODY, Bytes{'x'});
        }
        Bytes accept = packetWith(c.request == Request::Put ? 0x90 : 0xA0, fields, accepting);
        if (c.request == Request::Connect) {
            // The codec leaves the connection id to the session; it goes in by hand.
            const Bytes id = hex("CB 00000007");
            accept.insert(accept.end(), id.begin(), id.end());
            accept[2] = static_cast<std::uint8_t>(accept.size());
        }
        script->answer(accept);

        ASSERT_NO_THROW(client.connect(&first)) << c.what;
        const std::string error = errorOf([&] {
            switch (c.request) {
                case Request::Connect:
                    client.connect(&request);
                    break;
                case Request::Put:
                    client.put(&request);
                    break;
                case Request::Get:
                    client.get(&request);
                    break;
            }
        });
        if (!c.fails) {
            EXPECT_EQ(error, "no error") << c.what;
            EXPECT_EQ(client.getConnectionID(), c.request == Request::Connect ? 7 : -1) << c.what;
            continue;
        }
        EXPECT_EQ(error, c.first == First::Reflect
                             ? "Authentication failure: the peer sent our own challenge back"
                         : c.proof == Proof::None
                             ? "Authentication failure: the peer did not answer our challenge"
                             : "Authentication failure")
            << c.what;
        // Not connected, and nothing more goes to that peer.
        EXPECT_EQ(client.getConnectionID(), -1) << c.what;
        EXPECT_TRUE(script->closedWithin(std::chrono::milliseconds(0))) << c.what;
    }
}

}  // namespace
}  // namespace flarecast::obex
