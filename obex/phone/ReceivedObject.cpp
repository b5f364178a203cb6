#include "obex/phone/ReceivedObject.h"

#include <cstdio>
#include <random>

#include "bluetooth/io/Errors.h"
#include "bluetooth/io/Utf8Path.h"
#include "obex/phone/ObjectName.h"

namespace flarecast::obex {

namespace fs = std::filesystem;
using bluetooth::RuntimeError;

namespace {

constexpr int kMaxNumber = 9999;

// Unique among the phones of any process that share the folder.
fs::path temporaryIn(const fs::path& folder) {
    std::random_device random;
    const std::uint64_t tag = (std::uint64_t{random()} << 32) | random();
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(tag));
    return folder / (std::string(".incoming-") + hex);
}

// Without overwriting; false when target exists.
bool moveWithoutOverwriting(const fs::path& from, const fs::path& to) {
    std::error_code error;
    fs::create_hard_link(from, to, error);
    if (!error) {
        fs::remove(from, error);
        return true;
    }
    if (error == std::errc::file_exists) {
        return false;
    }
    // A file system without hard links: a check, then a rename.
    if (fs::exists(to)) {
        return false;
    }
    fs::rename(from, to);
    return true;
}

}  // namespace

ReceivedObject::ReceivedObject(fs::path folder, std::string name)
    : folder(std::move(folder)),
      name(std::move(name)),
      temporary(temporaryIn(this->folder)),
      out(temporary, std::ios::binary | std::ios::trunc) {
    if (!out) {
        throw RuntimeError("Cannot create a file in " + bluetooth::utf8Of(this->folder));
    }
}

ReceivedObject::~ReceivedObject() {
    if (!committed) {
        out.close();
        std::error_code ignored;
        fs::remove(temporary, ignored);
    }
}

void ReceivedObject::write(std::span<const std::uint8_t> bytes) {
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw RuntimeError("Cannot write " + bluetooth::utf8Of(temporary));
    }
}

fs::path ReceivedObject::commit() {
    out.close();
    if (!out) {
        throw RuntimeError("Cannot write " + bluetooth::utf8Of(temporary));
    }
    try {
        for (int n = 0; n <= kMaxNumber; ++n) {
            const fs::path target = folder / bluetooth::pathFromUtf8(numberedFileName(name, n));
            if (moveWithoutOverwriting(temporary, target)) {
                committed = true;
                return target;
            }
        }
    } catch (const fs::filesystem_error& error) {
        throw RuntimeError(error.what());
    }
    throw RuntimeError("Too many objects named " + name + " in " + bluetooth::utf8Of(folder));
}

}  // namespace flarecast::obex
