#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace flarecast::obex {

// The MD5 message digest (RFC 1321).
class MD5 {
public:
    using Digest = std::array<std::uint8_t, 16>;

    void update(std::span<const std::uint8_t> bytes);
    Digest finish();

    static Digest of(std::span<const std::uint8_t> bytes);
    static Digest of(std::string_view text);

private:
    void transform(const std::uint8_t* block);

    std::array<std::uint32_t, 4> state = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    std::array<std::uint8_t, 64> buffer{};
    std::uint64_t length = 0;
};

}  // namespace flarecast::obex
