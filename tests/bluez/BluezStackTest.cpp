#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "bluetooth/discovery/DiscoveryAgent.h"
#include "bluetooth/discovery/DiscoveryListener.h"
#include "bluetooth/discovery/LocalDevice.h"
#include "bluetooth/io/Errors.h"
#include "bluetooth/native/NativeStackFactory.h"
#include "bluetooth/native/bluez/BluezAdapter.h"
#include "bluetooth/native/bluez/BluezAddress.h"
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

TEST(BluezAdapter, TheNamedAdapterOrTheFirstIsChosen) {
    const std::vector<AdapterInfo> adapters = {{"/org/bluez/hci10", "hci10", 0x10},
                                               {"/org/bluez/hci2", "hci2", 0x00AA01010001},
                                               {"/org/bluez/hci1", "hci1", 0x01}};
    const struct {
        const char* wanted;
        std::optional<std::string> chosen;
    } cases[] = {
        {"", "hci1"},           {"hci2", "hci2"},
        {"HCI10", "hci10"},     {"00:aa:01:01:00:01", "hci2"},
        {"hci3", std::nullopt}, {"00:AA:01:01:00:02", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto chosen = chooseAdapter(adapters, c.wanted);
        EXPECT_EQ(chosen ? std::optional(chosen->name) : std::nullopt, c.chosen) << c.wanted;
    }
    EXPECT_EQ(chooseAdapter({}, ""), std::nullopt);
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
