#include <gtest/gtest.h>

#include <future>

#include "TestNeighbourhood.h"
#include "app/engine/Bluetooth.h"
#include "bluetooth/discovery/LocalDevice.h"
#include "bluetooth/io/Errors.h"
#include "obex/OBEXConnector.h"
#include "obex/auth/PasswordAuthenticator.h"
#include "tests/common/Inbox.h"

namespace flarecast::obex {
namespace {

using bluetooth::DataElement;
using bluetooth::IOError;
using bluetooth::ServiceRecord;
using bluetooth::UUID;
using bluetooth::testing::eventually;
using bluetooth::testing::TestNeighbourhood;

// Device 9b's channel 3 is the local server's channel 3.
constexpr const char* kOwnServer = "btgoep://00123456789b:3";

class ObexServerTest : public ::testing::Test {
protected:
    void SetUp() override { TestNeighbourhood::get(); }
};

std::vector<UUID> serviceClasses(ServiceRecord& record) {
    std::vector<UUID> classes;
    for (const auto& element :
         record.getAttributeValue(ServiceRecord::ServiceClassIDList)->getChildren()) {
        classes.push_back(std::get<UUID>(element->getValue()));
    }
    return classes;
}

TEST_F(ObexServerTest, AServerUrlGivesAnObjectPushRecordThatASearchFinds) {
    const auto server =
        OBEXConnector::openNotifier("btgoep://localhost:0000110100001000800000805f9b34fb");
    auto& record = bluetooth::LocalDevice::getLocalDevice().getRecord(&server->getNotifier());
    EXPECT_EQ(serviceClasses(record), std::vector<UUID>{UUID(0x1105)});
    Bytes formats;
    for (const auto& format : record.getAttributeValue(0x0303)->getChildren()) {
        formats.push_back(static_cast<std::uint8_t>(format->getLong()));
    }
    EXPECT_EQ(formats, (Bytes{0x01, 0x02, 0x04, 0x05, 0x06, 0xFF}));

    engine::Bluetooth listener;
    ::testing::internal::CaptureStdout();
    listener.doserviceenquiry(bluetooth::RemoteDevice("", 0x0012a1b2c3d4));
    const bool ended = eventually([&] { return listener.servicesearchcompleted.load(); });
    ::testing::internal::GetCapturedStdout();
    ASSERT_TRUE(ended);
    EXPECT_EQ(listener.searchresult, bluetooth::DiscoveryListener::SERVICE_SEARCH_COMPLETED);
    EXPECT_EQ(listener.obexurl(), "btspp://0012a1b2c3d4:3;authenticate=false;encrypt=false");
}

// Where our client challenges the server, if anywhere.
enum class Challenge { None, AtConnect, AtPut };

// Pushes one object with our client; the final response code.
int push(Authenticator* authenticator, Challenge challenge, const std::string& name,
         const Bytes& object) {
    const auto session = OBEXConnector::openSession(kOwnServer);
    session->setAuthenticator(authenticator);
    HeaderSetImpl connect;
    if (challenge == Challenge::AtConnect) {
        connect.createAuthenticationChallenge("", false, false);
    }
    session->connect(&connect);
    HeaderSetImpl headers;
    headers.setHeader(HeaderSet::NAME, name);
    headers.setHeader(HeaderSet::LENGTH, static_cast<std::int64_t>(object.size()));
    if (challenge == Challenge::AtPut) {
        headers.createAuthenticationChallenge("", false, false);
    }
    const auto put = session->put(&headers);
    put->openOutputStream()->write(object);
    put->close();
    session->disconnect(nullptr);
    session->close();
    return put->getResponseCode();
}

// Lets in clients that know one password but answers their challenges with another, as a server
// that does not know theirs would.
class TwoPasswords final : public Authenticator {
public:
    PasswordAuthentication onAuthenticationChallenge(const std::string&, bool, bool) override {
        return {{}, {'4', '3', '2', '1'}};
    }
    Bytes onAuthenticationResponse(const std::optional<Bytes>&) override {
        return {'1', '2', '3', '4'};
    }
};

TEST_F(ObexServerTest, OurClientPushesToOurServerWithAndWithoutAuthentication) {
    const auto server = OBEXConnector::openNotifier("btgoep://localhost:1105");
    const auto inbox = std::make_shared<flarecast::testing::Inbox>();
    PasswordAuthenticator secret("1234");
    PasswordAuthenticator wrong("4321");
    TwoPasswords twoPasswords;
    Bytes object(100000);
    for (std::size_t i = 0; i < object.size(); ++i) {
        object[i] = static_cast<std::uint8_t>(i * 7);
    }
    const std::string unanswered = "Authentication failure: the peer did not answer our challenge";
    struct Case {
        Authenticator* serverWants;
        Authenticator* clientHas;
        Challenge clientChallenges;
        std::optional<std::string> error;
    };
    const Case cases[] = {
        {nullptr, nullptr, Challenge::None, std::nullopt},
        {nullptr, &secret, Challenge::None, std::nullopt},
        {&secret, &secret, Challenge::None, std::nullopt},
        {&secret, &secret, Challenge::AtConnect, std::nullopt},
        {&secret, &secret, Challenge::AtPut, std::nullopt},
        {&secret, nullptr, Challenge::None, "Connection not accepted 193"},
        {&secret, &wrong, Challenge::None, "Connection not accepted 193"},
        {&secret, &wrong, Challenge::AtConnect, "Connection not accepted 193"},
        // Servers that do not know the client's password.
        {nullptr, &secret, Challenge::AtConnect, unanswered},
        {nullptr, &secret, Challenge::AtPut, unanswered},
        {&twoPasswords, &secret, Challenge::AtConnect, "Authentication failure"},
        {&twoPasswords, &secret, Challenge::AtPut, "Authentication failure"},
    };
    int accepted = 0;
    for (const auto& c : cases) {
        auto serving =
            std::async(std::launch::async, [&] { server->acceptAndOpen(inbox, c.serverWants); });
        try {
            EXPECT_EQ(push(c.clientHas, c.clientChallenges, "grüße.bin", object),
                      ResponseCodes::OBEX_HTTP_OK);
            EXPECT_FALSE(c.error) << *c.error;
            ++accepted;
        } catch (const IOError& error) {
            EXPECT_EQ(error.getMessage(), c.error.value_or("no error"));
        }
        serving.get();
        ASSERT_TRUE(eventually([&] { return server->clientGone(); }));
    }
    const std::lock_guard guard(inbox->lock);
    ASSERT_EQ(inbox->objects.size(), static_cast<std::size_t>(accepted));
    for (const auto& [name, bytes] : inbox->objects) {
        EXPECT_EQ(name, "grüße.bin");
        EXPECT_TRUE(bytes == object);
    }
}

TEST_F(ObexServerTest, OneClientAtATimeAndNothingAfterClose) {
    const auto server = OBEXConnector::openNotifier("btgoep://localhost:1105");
    const auto inbox = std::make_shared<flarecast::testing::Inbox>();
    auto serving = std::async(std::launch::async, [&] { server->acceptAndOpen(inbox); });
    const auto session = OBEXConnector::openSession(kOwnServer);
    serving.get();
    try {
        server->acceptAndOpen(inbox);
        ADD_FAILURE();
    } catch (const IOError& error) {
        EXPECT_EQ(error.getMessage(), "Connection already connected");
    }
    server->close();
    try {
        server->acceptAndOpen(inbox);
        ADD_FAILURE();
    } catch (const IOError& error) {
        EXPECT_EQ(error.getMessage(),
                  "ConnectionNotifier is null ! maybe it was closed previousely..");
    }
    // The client's session ended with the server.
    EXPECT_THROW(session->connect(nullptr), IOError);
}

}  // namespace
}  // namespace flarecast::obex
