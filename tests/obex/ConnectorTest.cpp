#include <gtest/gtest.h>

#include "ScriptedPeer.h"
#include "bluetooth/discovery/LocalDevice.h"
#include "obex/OBEXConnector.h"
#include "obex/session/OBEXConnection.h"
#include "tests/bluetooth/FakeStack.h"

namespace flarecast::obex {
namespace {

using bluetooth::testing::fakeStack;
using Calls = std::vector<std::string>;

class ConnectorTest : public ::testing::Test {
protected:
    void SetUp() override {
        fakeStack().calls.clear();
        bluetooth::LocalDevice::getLocalDevice();
        fakeStack().calls.clear();
    }
};

TEST_F(ConnectorTest, AnObexURLOpensTheSameRfcommChannelAndSendsNothing) {
    const auto session =
        OBEXConnector::open("btgoep://00123456789a:9;authenticate=true;encrypt=true");
    EXPECT_EQ(fakeStack().calls, (Calls{"socket true true", "connect 3 00123456789a 9"}));
    auto* connection = dynamic_cast<OBEXConnection*>(session.get());
    ASSERT_NE(connection, nullptr);
    EXPECT_EQ(connection->getMTU(), 8192);
    EXPECT_EQ(connection->getConnectionID(), -1);
    EXPECT_EQ(connection->getRemoteDevice().getBluetoothAddress(), "00123456789a");
}

TEST_F(ConnectorTest, OnlyObexURLsAreOpened) {
    for (const char* url : {"btspp://00123456789a:9", "btgoe://x:1", ""}) {
        try {
            OBEXConnector::open(url);
            ADD_FAILURE() << url;
        } catch (const bluetooth::IOError& error) {
            EXPECT_EQ(error.getMessage(), "Only OBEX Connections supported");
        }
    }
    EXPECT_TRUE(fakeStack().calls.empty());
}

TEST(OBEXConnection, OnlyAnRfcommSessionHasARemoteDevice) {
    OBEXConnection session(
        std::make_unique<testing::ScriptedConnection>(std::make_shared<testing::PeerScript>()));
    try {
        session.getRemoteDevice();
        ADD_FAILURE();
    } catch (const bluetooth::IllegalArgumentError& error) {
        EXPECT_EQ(error.getMessage(), "Not a Bluetooth connection");
    }
}

}  // namespace
}  // namespace flarecast::obex
