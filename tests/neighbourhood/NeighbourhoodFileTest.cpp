#include <gtest/gtest.h>

#include "bluetooth/native/NativeStackFactory.h"
#include "bluetooth/native/neighbourhood/NeighbourhoodFile.h"

namespace flarecast::bluetooth {
namespace {

TEST(NeighbourhoodFile, ReadsEveryKey) {
    const Neighbourhood world = parseNeighbourhood(R"({
      "local":   { "address": "0012a1b2c3d4", "rfcomm_ports": { "3": 7003 } },
      "inquiry_ms": 300,
      "devices": [
        { "address": "00123456789a", "name": "Ada's phone", "class": "0x5a020c",
          "visible": false, "sdp": "unreachable",
          "services": [ { "uuid": "1105", "name": "OBEX Object Push", "channel": 9 } ],
          "records_hex": [ "3500" ],
          "rfcomm": { "9": "tcp:127.0.0.1:6650" },
          "a key from a later version": 1 },
        { "address": "00123456789B" }
      ]
    })",
                                                   "f.json");
    EXPECT_EQ(world.localAddress, 0x0012a1b2c3d4);
    EXPECT_EQ(world.localRfcommPorts, (std::map<int, std::uint16_t>{{3, 7003}}));
    EXPECT_EQ(world.inquiryMs, 300);
    ASSERT_EQ(world.devices.size(), 2U);
    const auto& ada = world.devices[0];
    EXPECT_EQ(ada.address, 0x00123456789a);
    EXPECT_EQ(ada.name, "Ada's phone");
    EXPECT_EQ(ada.deviceClass, 0x5a020c);
    EXPECT_FALSE(ada.visible);
    EXPECT_EQ(ada.sdp, Neighbourhood::Sdp::Unreachable);
    ASSERT_EQ(ada.services.size(), 1U);
    EXPECT_EQ(ada.services[0].uuid, UUID(0x1105));
    EXPECT_EQ(ada.services[0].name, "OBEX Object Push");
    EXPECT_EQ(ada.services[0].channel, 9);
    EXPECT_EQ(ada.records, (std::vector<Bytes>{{0x35, 0x00}}));
    EXPECT_EQ(ada.rfcomm.at(9).host, "127.0.0.1");
    EXPECT_EQ(ada.rfcomm.at(9).port, 6650);
    const auto& plain = world.devices[1];
    EXPECT_EQ(plain.name, "");
    EXPECT_EQ(plain.deviceClass, 0);
    EXPECT_TRUE(plain.visible);
    EXPECT_EQ(plain.sdp, Neighbourhood::Sdp::Records);
    EXPECT_EQ(parseNeighbourhood("{}", "empty").localAddress, 0);
}

TEST(NeighbourhoodFile, FaultsNameTheFileAndTheKey) {
    struct Case {
        const char* json;
        const char* key;
    };
    const Case cases[] = {
        {"[1]", "(top level)"},
        {R"({"local": {"address": "12"}})", "local.address"},
        {R"({"local": {"rfcomm_ports": {"31": 7000}}})", "local.rfcomm_ports.31"},
        {R"({"local": {"rfcomm_ports": {"3": 70000}}})", "local.rfcomm_ports.3"},
        {R"({"inquiry_ms": -1})", "inquiry_ms"},
        {R"({"inquiry_ms": "fast"})", "inquiry_ms"},
        {R"({"devices": {}})", "devices"},
        {R"({"devices": [{"name": "x"}]})", "devices[0].address"},
        {R"({"devices": [{"address": "00123456789g"}]})", "devices[0].address"},
        {R"({"devices": [{"address": "00123456789a", "class": "0x1000000"}]})", "devices[0].class"},
        {R"({"devices": [{"address": "00123456789a", "visible": "yes"}]})", "devices[0].visible"},
        {R"({"devices": [{"address": "00123456789a", "sdp": "maybe"}]})", "devices[0].sdp"},
        {R"({"devices": [{"address": "00123456789a", "services": [{"uuid": "11050", "channel": 1}]}]})",
         "devices[0].services[0].uuid"},
        {R"({"devices": [{"address": "00123456789a", "services": [{"uuid": "1105"}]}]})",
         "devices[0].services[0].channel"},
        {R"({"devices": [{"address": "00123456789a", "records_hex": ["350"]}]})",
         "devices[0].records_hex[0]"},
        {R"({"devices": [{"address": "00123456789a", "rfcomm": {"9": "udp:x:1"}}]})",
         "devices[0].rfcomm.9"},
        {R"({"devices": [{"address": "00123456789a", "rfcomm": {"9": "tcp:x:0"}}]})",
         "devices[0].rfcomm.9"},
        {R"({"devices": [{"address": "00123456789a", "rfcomm": {"x": "tcp:x:1"}}]})",
         "devices[0].rfcomm.x"},
    };
    for (const auto& c : cases) {
        try {
            parseNeighbourhood(c.json, "bad.json");
            ADD_FAILURE() << c.json;
        } catch (const NeighbourhoodError& error) {
            EXPECT_TRUE(error.getMessage().starts_with(
                std::string("Neighbourhood file bad.json: ") + c.key + ": "))
                << error.getMessage();
        }
    }
    EXPECT_THROW(parseNeighbourhood("{", "bad.json"), NeighbourhoodError);
    EXPECT_THROW(parseNeighbourhood(R"({"inquiry_ms": 1e999})", "bad.json"), NeighbourhoodError);
}

TEST(NeighbourhoodFile, AnUnusableFileIsReportedAndLeavesAnEmptyNeighbourhood) {
    ::testing::internal::CaptureStdout();
    const auto stack = createNativeStack("/no/such/neighbourhood.json");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Neighbourhood file /no/such/neighbourhood.json: cannot be read\n");
    int found = 0;
    stack->doInquiry(0x9E8B33, [&found](const std::string&, std::int64_t, int) { ++found; }, {});
    EXPECT_EQ(found, 0);
}

TEST(NeighbourhoodFile, TheDemoNeighbourhoodHasPhonesThatOfferObjectPush) {
    const Neighbourhood demo = demoNeighbourhood();
    ASSERT_FALSE(demo.devices.empty());
    EXPECT_EQ(demo.devices[0].services.at(0).uuid, UUID(0x1105));
}

}  // namespace
}  // namespace flarecast::bluetooth
