#include <gtest/gtest.h>

#include <future>

#include "TestNeighbourhood.h"
#include "app/engine/Bluetooth.h"
#include "bluetooth/connections/BluetoothStreamConnectionNotifier.h"
#include "bluetooth/connections/Connector.h"
#include "bluetooth/discovery/LocalDevice.h"

namespace flarecast::bluetooth {
namespace {

using testing::eventually;
using testing::TestNeighbourhood;

class ConnectionsTest : public ::testing::Test {
protected:
    void SetUp() override { TestNeighbourhood::get(); }
};

Bytes readExactly(InputStream& in, std::size_t count) {
    Bytes bytes(count);
    std::size_t filled = 0;
    while (filled < count) {
        const int got = in.read(std::span(bytes).subspan(filled));
        if (got < 0) {
            throw IOError("end of stream");
        }
        filled += static_cast<std::size_t>(got);
    }
    return bytes;
}

// An Object Push search on the local adapter's own address: the code and the URL found.
std::pair<int, std::optional<std::string>> searchOwnAddress() {
    engine::Bluetooth listener;
    ::testing::internal::CaptureStdout();
    listener.doserviceenquiry(RemoteDevice("", 0x0012a1b2c3d4));
    const bool ended = eventually([&] { return listener.servicesearchcompleted.load(); });
    ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(ended);
    return {listener.searchresult, listener.obexurl()};
}

TEST_F(ConnectionsTest, ABtsppConnectionCarriesBytesBothWays) {
    auto connection = Connector::openStream("btspp://00123456789a:9;authenticate=false");
    const auto out = connection->openDataOutputStream();
    const auto in = connection->openDataInputStream();
    const Bytes hello = {'h', 'e', 'l', 'l', 'o'};
    out->write(hello);
    out->writeInt(0x01020304);
    EXPECT_EQ(readExactly(*in, 5), hello);
    EXPECT_EQ(in->readInt(), 0x01020304);
    EXPECT_EQ(RemoteDevice::getRemoteDevice(*connection).getBluetoothAddress(), "00123456789a");
    connection->close();
    in->close();
    out->close();
}

TEST_F(ConnectionsTest, ChannelsWithoutAnEndpointAndUnknownDevicesRefuse) {
    EXPECT_THROW(Connector::open("btspp://00123456789a:10"), IOError);
    EXPECT_THROW(Connector::open("btspp://001122334455:9"), IOError);
}

TEST_F(ConnectionsTest, ALocalServerRegistersItsRecordAndAcceptsClients) {
    auto opened = Connector::open("btspp://localhost:1105;name=OPP");
    auto* notifier = dynamic_cast<BluetoothStreamConnectionNotifier*>(opened.get());
    ASSERT_NE(notifier, nullptr);

    const Bytes record = notifier->getServiceRecord().toByteArray();
    EXPECT_EQ(record.size(), 100U);
    EXPECT_EQ(Bytes(record.begin(), record.begin() + 5), (Bytes{0x37, 0, 0, 0, 0x5F}));
    EXPECT_EQ(notifier->getServiceRecord().getConnectionURL(0, false),
              "btspp://0012a1b2c3d4:3;authenticate=false;encrypt=false");
    EXPECT_EQ(std::get<UUID>(notifier->getServiceRecord()
                                 .getAttributeValue(ServiceRecord::ServiceClassIDList)
                                 ->getChildren()[0]
                                 ->getValue()),
              UUID("1105", false));
    EXPECT_EQ(&LocalDevice::getLocalDevice().getRecord(notifier), &notifier->getServiceRecord());

    // A search for Object Push on our own address does not find it: the URL's short target is
    // not expanded with the base UUID.
    EXPECT_EQ(searchOwnAddress().first, DiscoveryListener::SERVICE_SEARCH_NO_RECORDS);

    // A plain TCP client on the pinned port is a client of channel 3.
    TcpSocket client = TcpSocket::connectTo("127.0.0.1", TestNeighbourhood::get().pinnedPort);
    const auto accepted = notifier->acceptAndOpen();
    const Bytes ping = {'p', 'i', 'n', 'g'};
    client.sendAll(ping);
    EXPECT_EQ(readExactly(*accepted->openInputStream(), 4), ping);
    accepted->openOutputStream()->write(ping);
    Bytes back(4);
    std::size_t got = 0;
    while (got < 4) {
        got += client.receive(std::span(back).subspan(got));
    }
    EXPECT_EQ(back, ping);

    // Closing ends a pending accept with an I/O error; a second close does nothing.
    auto pending = std::async(std::launch::async, [notifier] { notifier->acceptAndOpen(); });
    notifier->close();
    notifier->close();
    EXPECT_THROW(pending.get(), IOError);
}

TEST_F(ConnectionsTest, AServerForAnotherServiceIsFoundByItsUUID) {
    auto opened = Connector::open("btspp://localhost:0000110500001000800000805f9b34fb");
    auto* notifier = dynamic_cast<BluetoothStreamConnectionNotifier*>(opened.get());
    ASSERT_NE(notifier, nullptr);
    const Bytes record = notifier->getServiceRecord().toByteArray();
    EXPECT_EQ(record.size(), 92U);
    EXPECT_EQ(Bytes(record.begin(), record.begin() + 5), (Bytes{0x37, 0, 0, 0, 0x57}));

    const auto [code, url] = searchOwnAddress();
    EXPECT_EQ(code, DiscoveryListener::SERVICE_SEARCH_COMPLETED);
    ASSERT_TRUE(url.has_value());
    EXPECT_TRUE(url->starts_with("btspp://0012a1b2c3d4:")) << *url;
}

}  // namespace
}  // namespace flarecast::bluetooth
