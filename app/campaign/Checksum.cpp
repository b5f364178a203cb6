#include "app/campaign/Checksum.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

namespace flarecast::campaign {

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd(fd) {}
    ~Descriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd; }

private:
    const int fd;
};

struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

[[noreturn]] void unreadable(const std::filesystem::path& file, int error) {
    throw std::runtime_error("Cannot read " + file.string() + ": " + std::strerror(error));
}

[[noreturn]] void failed(const std::filesystem::path& file) {
    throw std::runtime_error("Cannot compute the checksum of " + file.string());
}

}  // namespace

std::string fileChecksum(const std::filesystem::path& file) {
    const Descriptor input(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (input.get() < 0) {
        unreadable(file, errno);
    }
    const std::unique_ptr<EVP_MD_CTX, ContextFree> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
        failed(file);
    }
    std::vector<unsigned char> chunk(64 * 1024);
    for (;;) {
        const ssize_t got = ::read(input.get(), chunk.data(), chunk.size());
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            // A folder opens but does not read (EISDIR).
            unreadable(file, errno);
        }
        if (got == 0) {
            break;
        }
        if (EVP_DigestUpdate(context.get(), chunk.data(), static_cast<std::size_t>(got)) != 1) {
            failed(file);
        }
    }
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1) {
        failed(file);
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * length);
    for (unsigned int i = 0; i < length; ++i) {
        hex += kDigits[digest[i] >> 4];
        hex += kDigits[digest[i] & 0x0f];
    }
    return hex;
}

}  // namespace flarecast::campaign
