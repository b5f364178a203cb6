#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bluetooth/discovery/DiscoveryAgent.h"
#include "bluetooth/discovery/DiscoveryListener.h"
#include "bluetooth/discovery/LocalDevice.h"
#include "bluetooth/io/Errors.h"
#include "bluetooth/native/NativeStackFactory.h"
#include "bluetooth/native/bluez/BluezAdapter.h"
#include "bluetooth/native/bluez/BluezAddress.h"
#include "bluetooth/native/bluez/BluezStack.h"
#include "bluetooth/native/bluez/ConnectFailure.h"
#include "bluetooth/native/bluez/SdpRecordXml.h"
#include "bluetooth/sdp/SDPOutputStream.h"

namespace flarecast::bluetooth::bluez {
namespace {

using DE = DataElement;

Bytes encoded(const DE::Ptr& element) {
    ByteArrayOutputStream bytes;
    SDPOutputStream(bytes).writeElement(*element);
    return bytes.toByteArray();
}

DE::Ptr u16(int value) {
    return DE::make(DE::U_INT_2, std::int64_t{value});
}

TEST(SdpRecordXml, AnObjectPushRecordBecomesTheXmlThatBluetoothdTakes) {
    const auto record = DE::sequence({
        u16(0x0000),
        DE::make(DE::U_INT_4, std::int64_t{0x00010020}),
        u16(0x0001),
        DE::sequence({DE::make(DE::UUID, UUID(0x1105))}),
        u16(0x0004),
        DE::sequence({DE::sequence({DE::make(DE::UUID, UUID(0x0100))}),
                      DE::sequence({DE::make(DE::UUID, UUID(0x0003)),
                                    DE::make(DE::U_INT_1, std::int64_t{12})})}),
        u16(0x0100),
        DE::make(DE::STRING, "Push <&> \"here\""),
        u16(0x0101),
        DE::make(DE::STRING,
                 "Gr\xC3\xBC\xC3\x9F"
                 "e"),
        u16(0x0200),
        DE::sequence({DE::make(true), DE::make(DE::INT_2, std::int64_t{-5}),
                      DE::make(DE::UUID, UUID(0x12345678)),
                      DE::make(DE::UUID, UUID("0000110100001000800000805f9b34fc", false)),
                      DE::make(DE::NULLTYPE), DE::make(DE::URL, "http://x/")},
                     DE::DATALT),
    });
    EXPECT_EQ(sdpRecordToXml(encoded(record)),
              "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<record>\n"
              "<attribute id=\"0x0001\"><sequence><uuid value=\"0x1105\"/></sequence></attribute>\n"
              "<attribute id=\"0x0004\"><sequence><sequence><uuid value=\"0x0100\"/></sequence>"
              "<sequence><uuid value=\"0x0003\"/><uint8 value=\"0x0c\"/></sequence></sequence>"
              "</attribute>\n"
              "<attribute id=\"0x0100\"><text value=\"Push &lt;&amp;&gt; &quot;here&quot;\"/>"
              "</attribute>\n"
              "<attribute id=\"0x0101\"><text encoding=\"hex\" value=\"4772c3bcc39f65\"/>"
              "</attribute>\n"
              "<attribute id=\"0x0200\"><alternate><boolean value=\"true\"/>"
              "<int16 value=\"-5\"/><uuid value=\"0x12345678\"/>"
              "<uuid value=\"00001101-0000-1000-8000-00805f9b34fc\"/><nil/>"
              "<url value=\"http://x/\"/></alternate></attribute>\n"
              "</record>\n");
}

TEST(SdpRecordXml, BytesThatAreNoRecordAreAnIOError) {
    const std::vector<Bytes> cases = {
        {},
        {0x35, 0x05, 0x09, 0x00},              // cut short
        {0x09, 0x00, 0x01},                    // not a sequence
        {0x35, 0x03, 0x09, 0x00, 0x01},        // an ID without a value
        {0x35, 0x04, 0x08, 0x01, 0x08, 0x02},  // an ID that is not 16 bits
    };
    for (const auto& bytes : cases) {
        EXPECT_THROW(sdpRecordToXml(bytes), IOError) << ::testing::PrintToString(bytes);
    }
}

TEST(BluezAddress, AddressesGoLeastSignificantByteFirstAndParseOnlyInColonForm) {
    const bdaddr_t kernel = toBdaddr(0x00AA01010001);
    EXPECT_EQ(kernel.b[0], 0x01);
    EXPECT_EQ(kernel.b[1], 0x00);
    EXPECT_EQ(kernel.b[4], 0xAA);
    EXPECT_EQ(fromBdaddr(kernel), 0x00AA01010001);

    EXPECT_EQ(parseColonAddress("00:AA:01:01:00:01"), 0x00AA01010001);
    EXPECT_EQ(parseColonAddress("fe:dc:ba:98:76:54"), 0xFEDCBA987654);
    for (const char* bad : {"", "00AA01010001", "00:AA:01:01:00", "00:AA:01:01:00:01:02",
                            "00-AA-01-01-00-01", "0G:AA:01:01:00:01", "00:AA:01:01:00:1 "}) {
        EXPECT_EQ(parseColonAddress(bad), std::nullopt) << bad;
    }
}

// A connect on a link that was up already fails with "Connection refused" both when the device's
// channel refuses and when its pairing failed; only the link's own status tells them apart. A link
// made for the connect carries the status in the error itself. Only a refusal right after a
// pairing that succeeded is tried once more.
TEST(ConnectFailure, APairingThatFailedIsToldFromARefusedChannel) {
    struct Case {
        int error;
        std::optional<std::uint8_t> pairing;
        std::string said;
        bool again = false;
    };
    const std::string refused = "Pairing refused by the device";
    const std::vector<Case> cases{
        {ECONNREFUSED, std::nullopt, "Connection refused"},
        {ECONNREFUSED, 0x00, "Connection refused", true},  // paired, then refused at once
        {ECONNREFUSED, 0x05, refused},                     // authentication failure
        {ECONNREFUSED, 0x06, refused},                     // PIN or key missing
        {ECONNREFUSED, 0x18, refused},                     // pairing not allowed
        {ECONNREFUSED, 0x29, refused},                     // unit keys not supported
        {ECONNREFUSED, 0x37, refused},                     // Secure Simple Pairing not supported
        {ECONNREFUSED, 0x22, "Connection refused"},        // the device did not answer in time
        {ECONNREFUSED, 0x08, "Connection refused"},        // the link timed out
        {EACCES, std::nullopt, refused},                   // statuses 0x05 and 0x18 of a new link
        {EBADE, std::nullopt, refused},                    // status 0x06 of a new link
        {EHOSTDOWN, std::nullopt, "Host is down"},
        {ETIMEDOUT, 0x00, "Connection timed out"},
        {ETIMEDOUT, 0x08, "Connection timed out"},
        {ECONNRESET, std::nullopt, "Connection reset by peer"},
    };
    for (const auto& [error, pairing, said, again] : cases) {
        const std::string which =
            std::to_string(error) + " " + std::to_string(pairing ? *pairing : -1);
        EXPECT_EQ(connectFailure(error, pairing), said) << which;
        EXPECT_EQ(worthAnotherTry(error, pairing), again) << which;
    }
}

// The names of the adapters chosen, or the error's message.
std::pair<std::vector<std::string>, std::string> choose(const std::vector<AdapterInfo>& adapters,
                                                        const std::string& wanted) {
    std::vector<std::string> chosen;
    try {
        for (const auto& adapter : chooseAdapters(adapters, wanted)) {
            chosen.push_back(adapter.name);
        }
    } catch (const IOError& error) {
        return {{}, error.getMessage()};
    }
    return {chosen, ""};
}

// FLARECAST_ADAPTER: nothing, one name or address, several in their order, or all by number.
TEST(BluezAdapter, TheNamedAdaptersOrTheFirstAreChosen) {
    const std::vector<AdapterInfo> adapters = {{"/org/bluez/hci10", "hci10", 0x10},
                                               {"/org/bluez/hci2", "hci2", 0x00AA01010001},
                                               {"/org/bluez/hci1", "hci1", 0x01}};
    const std::string has = " (FLARECAST_ADAPTER); bluetoothd has hci10, hci2, hci1";
    const struct {
        std::string wanted;
        std::vector<std::string> chosen;
        std::string error = {};
    } cases[] = {
        {"", {"hci1"}},
        {"hci2", {"hci2"}},
        {"HCI10", {"hci10"}},
        {"00:aa:01:01:00:01", {"hci2"}},
        {"hci3", {}, "no Bluetooth adapter is named hci3" + has},
        {"00:AA:01:01:00:02", {}, "no Bluetooth adapter is named 00:AA:01:01:00:02" + has},
        {"hci2,hci1", {"hci2", "hci1"}},
        {"hci10, 00:AA:01:01:00:01 ,hci1", {"hci10", "hci2", "hci1"}},
        {"all", {"hci1", "hci2", "hci10"}},
        {"ALL", {"hci1", "hci2", "hci10"}},
        {"hci1,hci7", {}, "no Bluetooth adapter is named hci7" + has},
        {"hci1,all", {}, "no Bluetooth adapter is named all" + has},
        {"hci1,", {}, "no Bluetooth adapter is named \"\"" + has},
        {"hci2,00:aa:01:01:00:01", {}, "Bluetooth adapter hci2 is named twice (FLARECAST_ADAPTER)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(choose(adapters, c.wanted), std::pair(c.chosen, c.error)) << c.wanted;
    }
    for (const char* wanted : {"", "all", "hci0"}) {
        EXPECT_EQ(choose({}, wanted).second, "bluetoothd reports no Bluetooth adapter") << wanted;
    }
}

// Nothing here needs bluetoothd: the adapter is looked up before anything is asked of it.
TEST(BluezStack, RunsOnTheAdaptersInTheirOrderAndRefusesANumberOutOfRange) {
    BluezStack stack({{"/org/bluez/hci1", "hci1", 0x01}, {"/org/bluez/hci0", "hci0", 0x02}}, {});
    EXPECT_EQ(stack.adapters(), (std::vector<std::string>{"hci1", "hci0"}));
    EXPECT_EQ(stack.adapterInfo().name, "hci1");
    const UUID objectPush(0x1105);
    const int ids[] = {0x0004};
    for (const int adapter : {-1, 2}) {
        const std::string said = "no local adapter number " + std::to_string(adapter);
        const std::vector<std::pair<const char*, std::function<void()>>> calls{
            {"inquiry",
             [&] {
                 stack.doInquiry(
                     DiscoveryAgent::GIAC,
                     [](const std::string&, std::int64_t, int) { ADD_FAILURE(); }, {}, adapter);
             }},
            {"handles",
             [&] {
                 stack.getServiceHandles({&objectPush, 1}, 0x03, adapter);
             }},
            {"attributes", [&] { stack.getServiceAttributes(ids, 0x03, 0x10000, adapter); }},
            {"connect", [&] { stack.connect(1, 0x03, 9, adapter); }},
        };
        for (const auto& [what, call] : calls) {
            try {
                call();
                ADD_FAILURE() << what << " " << adapter;
            } catch (const IOError& error) {
                EXPECT_EQ(error.getMessage(), said) << what;
            }
        }
    }
}

// Without bluetoothd the program still runs: the address reads as zeros, an inquiry ends with
// INQUIRY_ERROR, and one line says what is missing.
TEST(WithoutBluetooth, TheStackSaysOnceWhatIsMissingAndFindsNothing) {
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/flarecast-test-bus", 1);
    ::unsetenv("FLARECAST_NEIGHBOURHOOD");
    ::testing::internal::CaptureStdout();
    auto& local = LocalDevice::getLocalDevice();
    const std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed.rfind("Bluetooth is not available: the system D-Bus cannot be reached", 0),
              0U)
        << printed;
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
    EXPECT_EQ(local.getBluetoothAddress(), "000000000000");
    NativeStack& stack = nativeStack();
    EXPECT_EQ(stack.doInquiry(
                  DiscoveryAgent::GIAC,
                  [](const std::string&, std::int64_t, int) { ADD_FAILURE(); }, {}, 0),
              DiscoveryListener::INQUIRY_ERROR);
    EXPECT_THROW(stack.socket(false, false), BluetoothStateException);
}

}  // namespace
}  // namespace flarecast::bluetooth::bluez
