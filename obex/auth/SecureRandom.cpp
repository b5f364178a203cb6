#include "obex/auth/SecureRandom.h"

#if defined(_WIN32)
// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on
#else
#include <sys/random.h>

#include <cerrno>
#endif

#include <algorithm>

#include "bluetooth/io/Errors.h"

namespace flarecast::obex {

#if defined(_WIN32)

void fillRandom(std::span<std::uint8_t> bytes) {
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const auto chunk =
            static_cast<ULONG>(std::min<std::size_t>(bytes.size() - filled, 1U << 30));
        if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, bytes.data() + filled, chunk,
                                              BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
            throw bluetooth::IOError("no random source");
        }
        filled += chunk;
    }
}

#else

void fillRandom(std::span<std::uint8_t> bytes) {
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = ::getrandom(bytes.data() + filled, bytes.size() - filled, 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw bluetooth::IOError("no random source");
        }
        filled += static_cast<std::size_t>(got);
    }
}

#endif

}  // namespace flarecast::obex
