#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace flarecast::bluetooth::winsock {

// Windows keeps a device address in the low 48 bits of a 64-bit number (BTH_ADDR), first byte of
// the address highest, as we do.
std::uint64_t toBthAddr(std::int64_t address);
std::int64_t fromBthAddr(std::uint64_t address);

// "(00:11:22:33:44:55)": the form WSAAddressToString writes and a service lookup takes as its
// context.
std::string addressContext(std::int64_t address);
// That form, with or without the parentheses; nothing for any other text.
std::optional<std::int64_t> parseAddressContext(std::string_view text);

}  // namespace flarecast::bluetooth::winsock
