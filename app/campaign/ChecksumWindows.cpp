#include "app/campaign/Checksum.h"

// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on

#include <array>
#include <memory>
#include <stdexcept>
#include <vector>

#include "bluetooth/io/Utf8Path.h"
#include "bluetooth/native/windows/WindowsText.h"

namespace flarecast::campaign {

namespace {

struct HandleClose {
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};

struct AlgorithmClose {
    void operator()(BCRYPT_ALG_HANDLE algorithm) const {
        ::BCryptCloseAlgorithmProvider(algorithm, 0);
    }
};

struct HashDestroy {
    void operator()(BCRYPT_HASH_HANDLE hash) const { ::BCryptDestroyHash(hash); }
};

[[noreturn]] void unreadable(const std::filesystem::path& file, DWORD error) {
    throw std::runtime_error("Cannot read " + bluetooth::utf8Of(file) + ": " +
                             bluetooth::windowsErrorText(error));
}

[[noreturn]] void failed(const std::filesystem::path& file) {
    throw std::runtime_error("Cannot compute the checksum of " + bluetooth::utf8Of(file));
}

}  // namespace

std::string fileChecksum(const std::filesystem::path& file) {
    // Shared as the push's own reading shares it: a file that another program holds open for
    // writing still reads, as it does on Linux.
    const HANDLE opened = ::CreateFileW(file.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        unreadable(file, ::GetLastError());
    }
    const std::unique_ptr<void, HandleClose> input(opened);
    BCRYPT_ALG_HANDLE rawAlgorithm = nullptr;
    if (!BCRYPT_SUCCESS(
            ::BCryptOpenAlgorithmProvider(&rawAlgorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
        failed(file);
    }
    const std::unique_ptr<void, AlgorithmClose> algorithm(rawAlgorithm);
    BCRYPT_HASH_HANDLE rawHash = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptCreateHash(algorithm.get(), &rawHash, nullptr, 0, nullptr, 0, 0))) {
        failed(file);
    }
    const std::unique_ptr<void, HashDestroy> hash(rawHash);
    std::vector<unsigned char> chunk(64 * 1024);
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(input.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got,
                        nullptr)) {
            unreadable(file, ::GetLastError());
        }
        if (got == 0) {
            break;
        }
        if (!BCRYPT_SUCCESS(::BCryptHashData(hash.get(), chunk.data(), got, 0))) {
            failed(file);
        }
    }
    std::array<unsigned char, 32> digest{};
    if (!BCRYPT_SUCCESS(
            ::BCryptFinishHash(hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0))) {
        failed(file);
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * digest.size());
    for (const unsigned char byte : digest) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0f];
    }
    return hex;
}

}  // namespace flarecast::campaign
