#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "PhoneClient.h"
#include "PhoneNeighbourhood.h"
#include "obex/auth/PasswordAuthenticator.h"
#include "obex/headers/ResponseCodes.h"
#include "obex/session/OBEXConnection.h"

namespace flarecast::obex {
namespace {

using testing::connected;
using testing::filesIn;
using testing::named;
using testing::Object;
using testing::PhoneNeighbourhood;
using testing::push;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kOk = ResponseCodes::OBEX_HTTP_OK;
constexpr int kForbidden = ResponseCodes::OBEX_HTTP_FORBIDDEN;

class VirtualPhoneTest : public ::testing::Test {
protected:
    void SetUp() override { world = &PhoneNeighbourhood::get(); }

    const std::string& url(const std::string& phone) const { return world->url(phone); }
    std::map<std::string, std::string> saved(const std::string& phone) const {
        return filesIn(world->folder(phone));
    }

    PhoneNeighbourhood* world = nullptr;
};

std::string randomText(std::size_t size) {
    std::mt19937 random(7);
    std::string text(size, '\0');
    for (auto& c : text) {
        c = static_cast<char>(random());
    }
    return text;
}

TEST_F(VirtualPhoneTest, AcceptsAnObjectOfManyPacketsAndSavesItWhole) {
    const std::string body = randomText(100000);
    const auto session = connected(url("plain"));
    EXPECT_EQ(push(*session, named("hello.bin", body)), kOk);
    // An aborted object leaves nothing, and the next one is an object of its own.
    HeaderSetImpl headers;
    headers.setHeader(HeaderSet::NAME, std::string("aborted.bin"));
    const auto aborted = session->put(&headers);
    aborted->openOutputStream()->write(Bytes(5000, 'x'));
    aborted->abort();
    EXPECT_EQ(push(*session, named("after.bin")), kOk);
    session->disconnect(nullptr);
    EXPECT_EQ(saved("plain"),
              (std::map<std::string, std::string>{{"hello.bin", body}, {"after.bin", "body"}}));
}

TEST_F(VirtualPhoneTest, NamesAreNeverPathsAndNeverOverwrite) {
    struct Case {
        std::string name;
        std::string savedAs;
    };
    const Case cases[] = {
        {"../../escape.txt", "escape.txt"},
        {"C:\\Users\\me\\windows.txt", "windows.txt"},
        {"folder/", "received"},
        {"..", "received (1)"},
        {"", "received (2)"},
        {"bell\a\r\n.txt", "bell.txt"},
        {".hidden", "hidden"},
        {"twice.txt", "twice.txt"},
        {"twice.txt", "twice (1).txt"},
        {"twice.txt", "twice (2).txt"},
        {"no extension", "no extension"},
        {"no extension", "no extension (1)"},
        {"Grüße.txt", "Grüße.txt"},
        {"CON.txt", "_CON.txt"},
        {"nul", "_nul"},
        {"a:stream.txt", "astream.txt"},
    };
    const auto session = connected(url("names"));
    std::map<std::string, std::string> expected;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const std::string body = "object " + std::to_string(i);
        EXPECT_EQ(push(*session, named(cases[i].name, body)), kOk) << cases[i].name;
        expected[cases[i].savedAs] = body;
    }
    // An empty object is an empty file.
    EXPECT_EQ(push(*session, named("empty.txt", "")), kOk);
    expected["empty.txt"] = "";
    EXPECT_EQ(saved("names"), expected);
}

TEST_F(VirtualPhoneTest, RefusalsCarryTheirCodesAndLeaveNoFile) {
    try {
        connected(url("refuse_connect"));
        ADD_FAILURE() << "connected";
    } catch (const bluetooth::IOError& error) {
        EXPECT_EQ(error.getMessage(), "Connection not accepted 211");
    }
    const auto session = connected(url("refuse_put"));
    EXPECT_EQ(push(*session, named("a.txt")), 224);
    EXPECT_EQ(push(*session, named("b.txt")), 224);
    EXPECT_TRUE(saved("refuse_put").empty());
}

TEST_F(VirtualPhoneTest, SlowPhonesAndSlowLinksTakeTheirTime) {
    auto start = Clock::now();
    const auto slow = connected(url("slow_answer"));
    EXPECT_GE(Clock::now() - start, milliseconds(40));

    // 10000 bytes at 200000 bytes a second, and a latency for each of the four packets.
    const auto link = connected(url("slow_link"));
    start = Clock::now();
    EXPECT_EQ(push(*link, named("a.bin", std::string(10000, 'x'))), kOk);
    EXPECT_GE(Clock::now() - start, milliseconds(50 + 3 * 5));
}

TEST_F(VirtualPhoneTest, DropsTheConnectionMidObjectAndKeepsNothingOfIt) {
    const auto session = connected(url("drop"));
    EXPECT_THROW(push(*session, named("big.bin", std::string(5000, 'x'))), bluetooth::IOError);
    EXPECT_TRUE(saved("drop").empty());
    // The phone still serves the next client, and an object below the limit arrives.
    const auto next = connected(url("drop"));
    EXPECT_EQ(push(*next, named("small.bin", std::string(999, 'x'))), kOk);
    EXPECT_EQ(saved("drop").size(), 1U);
}

TEST_F(VirtualPhoneTest, APasswordPhoneServesOnlyClientsThatKnowThePassword) {
    PasswordAuthenticator right("1234");
    PasswordAuthenticator wrong("4321");
    struct Case {
        const char* what;
        Authenticator* authenticator;
        bool served;
    };
    for (const auto& c : {Case{"right", &right, true}, Case{"none", nullptr, false},
                          Case{"wrong", &wrong, false}}) {
        auto session = OBEXConnector::openSession(url("password"));
        session->setAuthenticator(c.authenticator);
        bool connectedOk = true;
        try {
            session->connect(nullptr);
        } catch (const bluetooth::IOError& error) {
            connectedOk = false;
            EXPECT_EQ(error.getMessage(), "Connection not accepted 193") << c.what;
        }
        EXPECT_EQ(connectedOk, c.served) << c.what;
        // Not even a PUT gets through without the password.
        EXPECT_EQ(push(*session, named("a.txt")), c.served ? kOk : 193) << c.what;
    }
}

TEST_F(VirtualPhoneTest, ThePhoneAnnouncesItsMaximumPacketAndTakesObjectsInPacketsThatSmall) {
    const auto session = connected(url("small_packets"));
    EXPECT_EQ(dynamic_cast<OBEXConnection&>(*session).getMTU(), 300);
    const std::string body = randomText(5000);
    EXPECT_EQ(push(*session, named("a.bin", body)), kOk);
    EXPECT_EQ(saved("small_packets").at("a.bin"), body);
}

TEST_F(VirtualPhoneTest, AStrictPhoneChecksEachObjectAtItsFirstPacket) {
    struct Case {
        const char* what;
        Object object;
        int code;
    };
    const auto with = [](std::optional<std::string> name, std::optional<std::string> type,
                         std::optional<std::int64_t> length) {
        return Object{std::move(name), std::move(type), length, Bytes{'1', '2', '3', '4', '5'}};
    };
    const Case cases[] = {
        {"no LENGTH", with("a.jpg", "image/jpeg", std::nullopt), 0xCB},
        {"LENGTH 0", with("a.jpg", "image/jpeg", 0), 0xCB},
        {"empty NAME", with("", "image/jpeg", 5), 0xC0},
        {"no NAME", with(std::nullopt, "image/jpeg", 5), 0xC0},
        {"no extension, no TYPE", with("photo", std::nullopt, 5), 0xC0},
        {"a bare word for TYPE", with("a.jpg", "image", 5), 0xCF},
        {"a TYPE phones do not open", with("a.bin", "application/octet-stream", 5), 0xCF},
        {"image/jpeg", with("a.jpg", "image/jpeg", 5), kOk},
        {"TYPE in capitals, with parameters", with("b.txt", "TEXT/Plain; charset=UTF-8", 5), kOk},
        {"no extension, but a TYPE", with("card", "text/x-vcard", 5), kOk},
        {"an extension, but no TYPE", with("c.vcf", std::nullopt, 5), kOk},
    };
    for (const auto& c : cases) {
        // A refusal would refuse the rest of its session.
        const auto session = connected(url("strict"));
        EXPECT_EQ(push(*session, c.object), c.code) << c.what;
    }
    EXPECT_EQ(saved("strict"),
              (std::map<std::string, std::string>{
                  {"a.jpg", "12345"}, {"b.txt", "12345"}, {"card", "12345"}, {"c.vcf", "12345"}}));

    HeaderSetImpl target;
    target.setHeader(HeaderSet::TARGET, Bytes{0xF9, 0xEC, 0x7B, 0xC4});
    try {
        OBEXConnector::openSession(url("strict"))->connect(&target);
        ADD_FAILURE() << "connected with a TARGET";
    } catch (const bluetooth::IOError& error) {
        EXPECT_EQ(error.getMessage(), "Connection not accepted 198");
    }
}

TEST_F(VirtualPhoneTest, AStrictPhoneRefusesEveryObjectOfASessionAfterOneRefusal) {
    Object unmeasured = named("a.jpg");
    unmeasured.length.reset();
    const auto session = connected(url("strict_session"));
    EXPECT_EQ(push(*session, unmeasured), ResponseCodes::OBEX_HTTP_LENGTH_REQUIRED);
    EXPECT_EQ(push(*session, named("b.jpg")), kForbidden);
    EXPECT_EQ(push(*session, named("c.jpg")), kForbidden);
    // The next session starts afresh.
    EXPECT_EQ(push(*connected(url("strict_session")), named("d.jpg")), kOk);
    EXPECT_EQ(saved("strict_session"), (std::map<std::string, std::string>{{"d.jpg", "body"}}));
}

TEST_F(VirtualPhoneTest, AStrictPhoneKeepsOnlyAnObjectAsLongAsItsLength) {
    struct Case {
        const char* phone;
        const char* name;
        std::int64_t length;
        std::size_t size;
        int code;
    };
    const Case cases[] = {
        {"strict_length", "over.txt", 100, 1000, ResponseCodes::OBEX_HTTP_ENTITY_TOO_LARGE},
        {"strict_length", "far-over.txt", 100, 100000, ResponseCodes::OBEX_HTTP_ENTITY_TOO_LARGE},
        {"strict_length", "short.txt", 1000000, 100, ResponseCodes::OBEX_HTTP_BAD_REQUEST},
        {"strict_length", "exact.txt", 100, 100, kOk},
        {"plain_length", "over.txt", 100, 1000, kOk},
        {"plain_length", "short.txt", 1000000, 100, kOk},
    };
    for (const auto& c : cases) {
        Object object = named(c.name, std::string(c.size, 'x'));
        object.length = c.length;
        EXPECT_EQ(push(*connected(url(c.phone)), object), c.code) << c.phone << " " << c.name;
    }
    const auto sizes = [this](const std::string& phone) {
        std::map<std::string, std::size_t> kept;
        for (const auto& [name, contents] : saved(phone)) {
            kept[name] = contents.size();
        }
        return kept;
    };
    EXPECT_EQ(sizes("strict_length"), (std::map<std::string, std::size_t>{{"exact.txt", 100}}));
    EXPECT_EQ(sizes("plain_length"),
              (std::map<std::string, std::size_t>{{"over.txt", 1000}, {"short.txt", 100}}));
}

TEST_F(VirtualPhoneTest, TheFirstObjectWaitsForTheOwnersAnswer) {
    struct Case {
        const char* phone;
        int code;
        milliseconds atLeast;
    };
    const Case cases[] = {
        {"prompt_accept", kOk, milliseconds(40)},
        {"prompt_decline", kForbidden, milliseconds(0)},
        {"prompt_ignore", kForbidden, milliseconds(40)},
    };
    for (const auto& c : cases) {
        const auto session = connected(url(c.phone));
        const auto start = Clock::now();
        EXPECT_EQ(push(*session, named("a.txt")), c.code) << c.phone;
        EXPECT_GE(Clock::now() - start, c.atLeast) << c.phone;
        // The owner answers once a session.
        EXPECT_EQ(push(*session, named("b.txt")), c.code) << c.phone;
    }
}

}  // namespace
}  // namespace flarecast::obex
