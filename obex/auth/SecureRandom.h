#pragma once

#include <cstdint>
#include <span>

namespace flarecast::obex {

// Fills bytes from the operating system's random source; an I/O error when it cannot.
void fillRandom(std::span<std::uint8_t> bytes);

}  // namespace flarecast::obex
