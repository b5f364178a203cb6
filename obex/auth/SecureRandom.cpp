#include "obex/auth/SecureRandom.h"

#include <sys/random.h>

#include <cerrno>

#include "bluetooth/io/Errors.h"

namespace flarecast::obex {

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

}  // namespace flarecast::obex
