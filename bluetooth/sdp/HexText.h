#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace flarecast::bluetooth {

// Lower-case hexadecimal, two digits per byte.
std::string hexString(const std::uint8_t* bytes, std::size_t count);

// Lower-case hexadecimal without leading zeros ("0" for zero).
std::string hexWithoutLeadingZeros(std::uint64_t value);

// The value of one hexadecimal digit of either case, or -1.
int hexDigitValue(char c);

}  // namespace flarecast::bluetooth
