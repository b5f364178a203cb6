#pragma once

#include <cstdint>
#include <string>

namespace flarecast::bluetooth {

// A 24-bit class-of-device record, split into major, minor and service classes.
class DeviceClass {
public:
    // Only the low 24 bits may be set.
    explicit DeviceClass(std::int32_t record);

    // Each keeps its bit position.
    std::int32_t getServiceClasses() const { return record & 0xFFE000; }
    std::int32_t getMinorDeviceClass() const { return record & 0xFC; }
    std::int32_t getMajorDeviceClass() const { return record & 0x1F00; }
    std::int32_t getRecord() const { return record; }

    // A readable label such as Phone/Smartphone/(Networking,Telephony).
    std::string toString() const;

private:
    std::int32_t record;
};

}  // namespace flarecast::bluetooth
