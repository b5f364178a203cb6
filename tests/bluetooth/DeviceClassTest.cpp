#include <gtest/gtest.h>

#include "bluetooth/discovery/DeviceClass.h"
#include "bluetooth/io/Errors.h"

namespace flarecast::bluetooth {
namespace {

TEST(DeviceClass, Labels) {
    struct Case {
        std::int32_t record;
        const char* label;
    };
    const Case cases[] = {
        {0, "Miscellaneous/()"},
        {0x5A020C, "Phone/Smartphone/(Networking,Capturing,Object Transfer,Telephony)"},
        {0x000540, "Peripheral/(Keyboard)/Unclassified/()"},
        {0x0005CC, "Peripheral/(Keyboard,Pointer)/Remote Control/()"},
        {0x00053C, "Peripheral/()/Unknown/()"},
        {0x0006A0, "Peripheral/(Camera,Printer)/()"},
        {0x000600, "Peripheral/()/()"},
        {0x1F00, "Unclassified/()"},
        {0x0700, "Unknown/()"},
        {0x000104, "Computer/Desktop/()"},
        {0x00011C, "Computer/Unknown/()"},
        {0x000218, "Phone/Ring ring ring ring ring ring ring/()"},
        {0x000300, "LAN Access/Unclassified/0% used/()"},
        {0x0003E4, "LAN Access/Unknown/100% used/()"},
        {0x00040C, "Audio/Unknown/()"},
        {0x000448, "Audio/Gaming Toy/()"},
        {0x000444, "Audio/Unknown/()"},
        {0xFFE000,
         "Miscellaneous/(Limited Discovery,Positioning,Networking,Rendering,Capturing,"
         "Object Transfer,Audio,Telephony,Information)"},
        {0x00C000, "Miscellaneous/()"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DeviceClass(c.record).toString(), c.label) << std::hex << c.record;
    }
}

TEST(DeviceClass, SplitsTheRecordKeepingBitPositions) {
    const DeviceClass phone(0x5A020C);
    EXPECT_EQ(phone.getMajorDeviceClass(), 0x200);
    EXPECT_EQ(phone.getMinorDeviceClass(), 0x0C);
    EXPECT_EQ(phone.getServiceClasses(), 0x5A0000);
    EXPECT_THROW(DeviceClass(0x01000000), IllegalArgumentError);
    EXPECT_THROW(DeviceClass(-1), IllegalArgumentError);
}

}  // namespace
}  // namespace flarecast::bluetooth
