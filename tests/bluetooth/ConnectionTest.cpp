#include <gtest/gtest.h>

#include "FakeStack.h"
#include "bluetooth/connections/BluetoothConnection.h"
#include "bluetooth/connections/BtsppUrl.h"
#include "bluetooth/connections/Connector.h"
#include "bluetooth/discovery/LocalDevice.h"

namespace flarecast::bluetooth {
namespace {

using testing::fakeStack;
using Calls = std::vector<std::string>;

class ConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        fakeStack().calls.clear();
        // The local device reads the adapter's address through a socket of its own.
        LocalDevice::getLocalDevice();
        fakeStack().calls.clear();
        fakeStack().connectFails = false;
    }
};

TEST_F(ConnectionTest, ClientURLsConnectToTheChannelOfTheDevice) {
    struct Case {
        const char* url;
        Calls calls;
    };
    const Case cases[] = {
        {"btspp://00123456789a:9", {"socket false false", "connect 3 00123456789a 9"}},
        {"btspp://00123456789A:9;authenticate=true;encrypt=TRUE",
         {"socket true false", "connect 3 00123456789a 9"}},
        {"btspp://00123456789a:9;bogus;name", {"socket false false", "connect 3 00123456789a 9"}},
        {"btspp://1:12;;encrypt=false;encrypt=true;master=true",
         {"socket false true", "connect 3 000000000001 12"}},
        {"btspp://00123456789a:9;adapter=hci1",
         {"socket false false", "connect 3 00123456789a 9 via 1"}},
        {"btspp://00123456789a:9;adapter=hci0", {"socket false false", "connect 3 00123456789a 9"}},
    };
    for (const auto& c : cases) {
        fakeStack().calls.clear();
        const auto connection = Connector::open(c.url);
        EXPECT_NE(dynamic_cast<BluetoothConnection*>(connection.get()), nullptr) << c.url;
        EXPECT_EQ(fakeStack().calls, c.calls) << c.url;
    }
}

TEST_F(ConnectionTest, MalformedURLsAreRefused) {
    EXPECT_THROW(Connector::open("btgoep://x:1"), ConnectionNotFoundException);
    EXPECT_THROW(Connector::open("btspp:/"), ConnectionNotFoundException);
    EXPECT_THROW(Connector::open("btspp://00123456789a:9;adapter=hci7"),
                 ConnectionNotFoundException);
    EXPECT_THROW(Connector::open("btspp://00123456789a"), IllegalArgumentError);
    EXPECT_THROW(Connector::open("btspp://00123456789a:"), IllegalArgumentError);
    EXPECT_THROW(Connector::open("btspp://00123456789a:;;"), IllegalArgumentError);
    EXPECT_THROW(Connector::open("btspp://0012345678zz:9"), NumberFormatError);
    EXPECT_THROW(Connector::open("btspp://00123456789a:nine"), NumberFormatError);
    EXPECT_THROW(Connector::open("btspp://:9"), NumberFormatError);
    EXPECT_THROW(Connector::open("btspp://localhost:12g5"), NumberFormatError);
    EXPECT_THROW(Connector::open("btspp://localhost:" + std::string(33, '1')),
                 IllegalArgumentError);
    EXPECT_TRUE(fakeStack().calls.empty());
}

TEST_F(ConnectionTest, URLsKeepOnlyTheRecognisedParameters) {
    const auto url = BtsppUrl::parse("btspp://localhost:1105;name=OPP;x=1;master=true;name=a=b");
    EXPECT_TRUE(url.isServer());
    EXPECT_EQ(url.target, "1105");
    EXPECT_EQ(url.parameters,
              (std::map<std::string, std::string>{{"master", "true"}, {"name", "a=b"}}));
}

TEST_F(ConnectionTest, AFailedConnectReleasesItsSocket) {
    fakeStack().connectFails = true;
    EXPECT_THROW(Connector::open("btspp://00123456789a:9"), IOError);
    EXPECT_EQ(fakeStack().calls,
              (Calls{"socket false false", "connect 3 00123456789a 9", "close 3"}));
}

TEST_F(ConnectionTest, TheSocketIsReleasedOnceWhenTheConnectionAndItsStreamsAreClosed) {
    auto connection = Connector::openStream("btspp://00123456789a:9");
    const auto in = connection->openInputStream();
    const auto out = connection->openOutputStream();
    EXPECT_EQ(connection->openInputStream(), in);
    fakeStack().calls.clear();

    connection->close();
    EXPECT_THROW(connection->openInputStream(), IOError);
    EXPECT_TRUE(fakeStack().calls.empty());
    in->close();
    EXPECT_TRUE(fakeStack().calls.empty());
    EXPECT_THROW(in->read(), IOError);
    out->close();
    out->close();
    connection->close();
    EXPECT_EQ(fakeStack().calls, Calls{"close 3"});
    connection.reset();
    EXPECT_EQ(fakeStack().calls, Calls{"close 3"});
}

TEST_F(ConnectionTest, AClosedStreamIsReplacedByANewOne) {
    auto connection = Connector::openStream("btspp://00123456789a:9");
    const auto first = connection->openInputStream();
    first->close();
    const auto second = connection->openInputStream();
    EXPECT_NE(first, second);
    fakeStack().calls.clear();
    connection.reset();
    EXPECT_EQ(fakeStack().calls, Calls{"close 3"});
    EXPECT_THROW(second->read(), IOError);
}

TEST_F(ConnectionTest, ReadsOutsideTheBufferNeverReachTheDevice) {
    auto connection = Connector::openStream("btspp://00123456789a:9");
    const auto in = connection->openInputStream();
    Bytes buffer(10);
    fakeStack().calls.clear();
    EXPECT_THROW(in->read(buffer, 2, 9), IndexError);
    EXPECT_THROW(connection->openOutputStream()->write(buffer, 11, 0), IndexError);
    EXPECT_TRUE(fakeStack().calls.empty());
    EXPECT_EQ(in->read(buffer, 2, 0), -1);
    EXPECT_EQ(fakeStack().calls, Calls{"recv 0"});
}

TEST_F(ConnectionTest, OnlyRfcommConnectionsHaveARemoteDevice) {
    const auto rfcomm = Connector::openStream("btspp://00123456789a:9");
    EXPECT_EQ(RemoteDevice::getRemoteDevice(*rfcomm).getBluetoothAddress(), "00123456789a");
    struct OtherConnection final : Connection {
        void close() override {}
    } other;
    try {
        RemoteDevice::getRemoteDevice(other);
        ADD_FAILURE();
    } catch (const IllegalArgumentError& error) {
        EXPECT_EQ(error.getMessage(), "Not a Bluetooth connection");
    }
}

}  // namespace
}  // namespace flarecast::bluetooth
