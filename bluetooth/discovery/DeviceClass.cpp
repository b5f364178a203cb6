#include "bluetooth/discovery/DeviceClass.h"

#include <array>
#include <utility>

#include "bluetooth/io/Errors.h"

namespace flarecast::bluetooth {

namespace {

using Names = std::initializer_list<std::pair<std::int32_t, const char*>>;

const char* lookup(Names names, std::int32_t value, const char* otherwise) {
    for (const auto& [key, name] : names) {
        if (key == value) {
            return name;
        }
    }
    return otherwise;
}

// The names of the set bits, in table order, joined by commas.
std::string setBitNames(Names names, std::int32_t bits) {
    std::string joined;
    for (const auto& [mask, name] : names) {
        if ((bits & mask) != 0) {
            if (!joined.empty()) {
                joined += ',';
            }
            joined += name;
        }
    }
    return joined;
}

std::string minorPart(std::int32_t major, std::int32_t minor) {
    switch (major) {
        case 0x100:
            return lookup({{0x00, "/Unclassified"},
                           {0x04, "/Desktop"},
                           {0x08, "/Server"},
                           {0x0C, "/Laptop"},
                           {0x10, "/Handheld"},
                           {0x14, "/Palm"},
                           {0x18, "/Wearable"}},
                          minor, "/Unknown");
        case 0x200:
            return lookup({{0x00, "/Unclassified"},
                           {0x04, "/Cellular"},
                           {0x08, "/Cordless"},
                           {0x0C, "/Smartphone"},
                           {0x10, "/Wired Modem"},
                           {0x14, "/ISDN"},
                           {0x18, "/Ring ring ring ring ring ring ring"}},
                          minor, "/Unknown");
        case 0x300: {
            std::string part = (minor & 0x1C) == 0 ? "/Unclassified" : "/Unknown";
            return part + lookup({{0x00, "/0% used"},
                                  {0x20, "/1-17% used"},
                                  {0x40, "/18-33% used"},
                                  {0x60, "/34-50% used"},
                                  {0x80, "/51-67% used"},
                                  {0xA0, "/68-83% used"},
                                  {0xC0, "/84-99% used"},
                                  {0xE0, "/100% used"}},
                                 minor & 0xE0, "");
        }
        case 0x400:
            return lookup({{0x00, "/Unclassified"},
                           {0x04, "/Headset"},
                           {0x08, "/Hands-free"},
                           {0x0C, "/Unknown"},
                           {0x10, "/Microphone"},
                           {0x14, "/Loudspeaker"},
                           {0x18, "/Headphones"},
                           {0x1C, "/Portable"},
                           {0x20, "/Car"},
                           {0x24, "/Set-top Box"},
                           {0x28, "/HiFi"},
                           {0x2C, "/VCR"},
                           {0x30, "/Video Camera"},
                           {0x34, "/Camcorder"},
                           {0x38, "/Video Monitor"},
                           {0x3C, "/Video Display Loudspeaker"},
                           {0x40, "/Video Display Conferencing"},
                           {0x48, "/Gaming Toy"}},
                          minor, "/Unknown");
        case 0x500: {
            std::string part = lookup({{0x00, "/()"},
                                       {0x40, "/(Keyboard)"},
                                       {0x80, "/(Pointer)"},
                                       {0xC0, "/(Keyboard,Pointer)"}},
                                      minor & 0xC0, "");
            return part + lookup({{0x00, "/Unclassified"},
                                  {0x04, "/Joystick"},
                                  {0x08, "/Gamepad"},
                                  {0x0C, "/Remote Control"},
                                  {0x10, "/Sensing"},
                                  {0x14, "/Digitizer"},
                                  {0x18, "/Card Reader"}},
                                 minor & 0x3C, "/Unknown");
        }
        case 0x600:
            return setBitNames(
                       {{0x10, "Display"}, {0x20, "Camera"}, {0x40, "Scanner"}, {0x80, "Printer"}},
                       minor) +
                   ")";
        default:
            return "";
    }
}

}  // namespace

DeviceClass::DeviceClass(std::int32_t record) : record(record) {
    if ((static_cast<std::uint32_t>(record) & 0xFF000000U) != 0) {
        throw IllegalArgumentError();
    }
}

std::string DeviceClass::toString() const {
    const std::int32_t major = getMajorDeviceClass();
    std::string label = lookup({{0x000, "Miscellaneous"},
                                {0x100, "Computer"},
                                {0x200, "Phone"},
                                {0x300, "LAN Access"},
                                {0x400, "Audio"},
                                {0x500, "Peripheral"},
                                {0x600, "Peripheral/("},
                                {0x1F00, "Unclassified"}},
                               major, "Unknown");
    label += minorPart(major, getMinorDeviceClass());
    label += "/(";
    label += setBitNames({{0x002000, "Limited Discovery"},
                          {0x010000, "Positioning"},
                          {0x020000, "Networking"},
                          {0x040000, "Rendering"},
                          {0x080000, "Capturing"},
                          {0x100000, "Object Transfer"},
                          {0x200000, "Audio"},
                          {0x400000, "Telephony"},
                          {0x800000, "Information"}},
                         getServiceClasses());
    return label + ")";
}

}  // namespace flarecast::bluetooth
