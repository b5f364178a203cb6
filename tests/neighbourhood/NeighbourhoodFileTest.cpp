#include <gtest/gtest.h>

#include "bluetooth/native/NativeStackFactory.h"
#include "bluetooth/native/neighbourhood/NeighbourhoodFile.h"
#include "bluetooth/native/neighbourhood/NeighbourhoodStack.h"

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
          "rfcomm": { "9": "tcp:127.0.0.1:6650",
                      "10": { "preset": "strict", "save_to": "inbox", "refuse_connect": "0xd3",
                              "refuse_put": 224, "answer_delay_ms": 1, "drop_after_bytes": 2,
                              "password": "1234", "max_packet": 255, "max_sessions": 7,
                              "link_bytes_per_second": 3, "link_latency_ms": 4,
                              "prompt": "ignore", "prompt_delay_ms": 5,
                              "prompt_timeout_ms": 6 },
                      "11": { "prompt": "decline" },
                      "12": {} },
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
    const auto& tcp = std::get<Neighbourhood::Endpoint>(ada.rfcomm.at(9));
    EXPECT_EQ(tcp.host, "127.0.0.1");
    EXPECT_EQ(tcp.port, 6650);
    using Profile = VirtualPhoneProfile;
    using std::chrono::milliseconds;
    const auto& phone = std::get<Profile>(ada.rfcomm.at(10));
    EXPECT_EQ(phone.preset, Profile::Preset::Strict);
    EXPECT_EQ(phone.saveTo, "inbox");
    EXPECT_EQ(phone.refuseConnect, 0xD3);
    EXPECT_EQ(phone.refusePut, 0xE0);
    EXPECT_EQ(phone.answerDelay, milliseconds(1));
    EXPECT_EQ(phone.dropAfterBytes, 2);
    EXPECT_EQ(phone.password, "1234");
    EXPECT_EQ(phone.maxPacket, 255);
    EXPECT_EQ(phone.maxSessions, 7);
    EXPECT_EQ(phone.linkBytesPerSecond, 3);
    EXPECT_EQ(phone.linkLatency, milliseconds(4));
    EXPECT_EQ(phone.prompt, Profile::Prompt::Ignore);
    EXPECT_EQ(phone.promptDelay, milliseconds(5));
    EXPECT_EQ(phone.promptTimeout, milliseconds(6));
    EXPECT_EQ(std::get<Profile>(ada.rfcomm.at(11)).prompt, Profile::Prompt::Decline);
    const auto& defaults = std::get<Profile>(ada.rfcomm.at(12));
    EXPECT_EQ(defaults.preset, Profile::Preset::Plain);
    EXPECT_FALSE(defaults.saveTo || defaults.refuseConnect || defaults.refusePut ||
                 defaults.dropAfterBytes || defaults.password || defaults.linkBytesPerSecond);
    EXPECT_EQ(defaults.answerDelay + defaults.linkLatency + defaults.promptDelay, milliseconds(0));
    EXPECT_EQ(defaults.maxPacket, 0x2000);
    EXPECT_EQ(defaults.maxSessions, 8);
    EXPECT_EQ(defaults.prompt, Profile::Prompt::Accept);
    EXPECT_EQ(defaults.promptTimeout, milliseconds(50000));
    const auto& plain = world.devices[1];
    EXPECT_EQ(plain.name, "");
    EXPECT_EQ(plain.deviceClass, 0);
    EXPECT_TRUE(plain.visible);
    EXPECT_EQ(plain.sdp, Neighbourhood::Sdp::Records);
    EXPECT_EQ(parseNeighbourhood("{}", "empty").localAddress, 0);
}

TEST(NeighbourhoodFile, ReadsAdaptersAndTheirRadio) {
    const Neighbourhood world = parseNeighbourhood(R"({
      "local": { "address": "0012a1b2c3d0" },
      "adapters": [ { "name": "hci0" }, { "name": "usb", "address": "0012a1b2c3f0" }, {} ],
      "radio": { "bytes_per_second": 262500, "paging_ms": [600, 1300] },
      "devices": [ { "address": "00123456789a", "in_range_of": ["usb"] } ]
    })",
                                                   "f.json");
    ASSERT_EQ(world.adapters.size(), 3U);
    EXPECT_EQ(world.adapters[0].name, "hci0");
    EXPECT_EQ(world.adapters[0].address, 0x0012a1b2c3d0);
    EXPECT_EQ(world.adapters[1].name, "usb");
    EXPECT_EQ(world.adapters[1].address, 0x0012a1b2c3f0);
    EXPECT_EQ(world.adapters[2].name, "hci2");
    EXPECT_EQ(world.adapters[2].address, 0x0012a1b2c3d2);
    ASSERT_TRUE(world.radio);
    EXPECT_EQ(world.radio->bytesPerSecond, 262500);
    EXPECT_EQ(world.radio->pagingMin, std::chrono::milliseconds(600));
    EXPECT_EQ(world.radio->pagingMax, std::chrono::milliseconds(1300));
    EXPECT_EQ(world.devices[0].inRangeOf, std::vector<std::string>{"usb"});
    const Neighbourhood plain = parseNeighbourhood(R"({"radio": {"paging_ms": 700}})", "g.json");
    EXPECT_TRUE(plain.adapters.empty());
    EXPECT_FALSE(plain.radio->bytesPerSecond);
    EXPECT_EQ(plain.radio->pagingMin, plain.radio->pagingMax);
}

// A device out of an adapter's range is neither found nor reached through it.
TEST(NeighbourhoodFile, AnAdapterReachesOnlyTheDevicesInItsRange) {
    NeighbourhoodStack stack(parseNeighbourhood(R"({
      "inquiry_ms": 0,
      "adapters": [ { "name": "hci0" }, { "name": "hci1" } ],
      "devices": [ { "address": "00123456789a", "in_range_of": ["hci1"],
                     "services": [ { "uuid": "1105", "channel": 9 } ] },
                   { "address": "00123456789b" } ]
    })",
                                                "f.json"));
    EXPECT_EQ(stack.adapters(), (std::vector<std::string>{"hci0", "hci1"}));
    const auto found = [&stack](int adapter) {
        std::vector<std::int64_t> addresses;
        stack.doInquiry(
            0x9E8B33,
            [&addresses](const std::string&, std::int64_t address, int) {
                addresses.push_back(address);
            },
            {}, adapter);
        return addresses;
    };
    EXPECT_EQ(found(0), std::vector<std::int64_t>{0x00123456789b});
    EXPECT_EQ(found(1), (std::vector<std::int64_t>{0x00123456789a, 0x00123456789b}));
    const UUID objectPush(0x1105);
    EXPECT_THROW(stack.getServiceHandles(std::span(&objectPush, 1), 0x00123456789a, 0), IOError);
    EXPECT_EQ(stack.getServiceHandles(std::span(&objectPush, 1), 0x00123456789a, 1)->size(), 1U);
    EXPECT_THROW(stack.getServiceHandles(std::span(&objectPush, 1), 0x00123456789a, 2), IOError);
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
        {R"({"devices": [{"address": "00123456789a", "rfcomm": {"9": 7}}]})",
         "devices[0].rfcomm.9"},
        {R"({"adapters": []})", "adapters"},
        {R"({"adapters": [{"name": "hci0"}, {"name": "hci0"}]})", "adapters[1].name"},
        {R"({"adapters": [{"name": "hci0;x"}]})", "adapters[0].name"},
        {R"({"adapters": [{"address": "1"}]})", "adapters[0].address"},
        {R"({"radio": 5})", "radio"},
        {R"({"radio": {"bytes_per_second": 0}})", "radio.bytes_per_second"},
        {R"({"radio": {"paging_ms": [1300, 600]}})", "radio.paging_ms"},
        {R"({"radio": {"paging_ms": [1, 2, 3]}})", "radio.paging_ms"},
        {R"({"radio": {"paging_ms": -1}})", "radio.paging_ms"},
        {R"({"devices": [{"address": "00123456789a", "in_range_of": ["hci1"]}]})",
         "devices[0].in_range_of[0]"},
        {R"({"devices": [{"address": "00123456789a", "in_range_of": []}]})",
         "devices[0].in_range_of"},
    };
    // Each key of a virtual phone, with a value it refuses.
    const std::pair<const char*, const char*> phoneCases[] = {
        {"preset", R"("lenient")"},
        {"save_to", R"("")"},
        {"save_to", "5"},
        {"refuse_connect", R"("0xA0")"},
        {"refuse_connect", "256"},
        {"refuse_connect", R"("refuse")"},
        {"refuse_put", "144"},
        {"answer_delay_ms", "-1"},
        {"drop_after_bytes", "-1"},
        {"drop_after_bytes", "18446744073709551615"},
        {"password", "1234"},
        {"max_packet", "254"},
        {"max_packet", "65536"},
        {"max_sessions", "0"},
        {"max_sessions", "257"},
        {"link_bytes_per_second", "0"},
        {"link_latency_ms", R"("slow")"},
        {"prompt", R"("maybe")"},
        {"prompt_delay_ms", "600001"},
        {"prompt_timeout_ms", "1.5"},
    };
    std::vector<std::pair<std::string, std::string>> all;
    for (const auto& c : cases) {
        all.emplace_back(c.json, c.key);
    }
    for (const auto& [key, value] : phoneCases) {
        all.emplace_back(
            std::string(R"({"devices": [{"address": "00123456789a", "rfcomm": {"9": {")") + key +
                R"(": )" + value + "}}}]}",
            std::string("devices[0].rfcomm.9.") + key);
    }
    for (const auto& c : all) {
        const auto& [json, key] = c;
        try {
            parseNeighbourhood(json, "bad.json");
            ADD_FAILURE() << json;
        } catch (const NeighbourhoodError& error) {
            EXPECT_TRUE(
                error.getMessage().starts_with("Neighbourhood file bad.json: " + key + ": "))
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
    // No device is in range, without waiting out a whole inquiry to see it.
    const UUID objectPush(0x1105);
    EXPECT_THROW(stack->getServiceHandles(std::span(&objectPush, 1), 0x00123456789a, 0), IOError);
}

TEST(NeighbourhoodFile, TheDemoNeighbourhoodHasPhonesThatOfferObjectPush) {
    const Neighbourhood demo = demoNeighbourhood();
    ASSERT_FALSE(demo.devices.empty());
    EXPECT_EQ(demo.devices[0].services.at(0).uuid, UUID(0x1105));
    EXPECT_TRUE(std::holds_alternative<VirtualPhoneProfile>(demo.devices[0].rfcomm.at(9)));
}

TEST(NeighbourhoodFile, AVirtualPhoneWithoutAHostRefusesTheConnectionAndSaysWhy) {
    NeighbourhoodStack stack(parseNeighbourhood(
        R"({"devices": [{"address": "00123456789a", "rfcomm": {"9": {}}}]})", "phones.json"));
    const int socket = stack.socket(false, false);
    try {
        stack.connect(socket, 0x00123456789a, 9, 0);
        ADD_FAILURE() << "connected";
    } catch (const IOError& error) {
        EXPECT_EQ(error.getMessage(),
                  "channel 9 of 00123456789a is a virtual phone, but this program runs no virtual "
                  "phones");
    }
    stack.close(socket);
}

}  // namespace
}  // namespace flarecast::bluetooth
