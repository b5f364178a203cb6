#include <windows.h>

#include "app/cli/AppendFile.h"
#include "bluetooth/native/windows/WindowsText.h"

namespace flarecast::cli {

namespace {

[[noreturn]] void fail() {
    throw AppendFileError(bluetooth::windowsErrorText(::GetLastError()));
}

}  // namespace

// FILE_APPEND_DATA without FILE_WRITE_DATA: the system puts every write at the end, atomically,
// as O_APPEND does.
AppendFile::AppendFile(const std::filesystem::path& path)
    : handle(::CreateFileW(path.c_str(), GENERIC_READ | FILE_APPEND_DATA,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {
    if (handle == INVALID_HANDLE_VALUE) {
        fail();
    }
}

AppendFile::~AppendFile() {
    ::CloseHandle(handle);
}

std::uint64_t AppendFile::size() const {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(handle, &size)) {
        fail();
    }
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::string AppendFile::head(std::size_t limit) const {
    std::string text;
    char c = 0;
    while (text.size() < limit) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(text.size());
        DWORD got = 0;
        if (!::ReadFile(handle, &c, 1, &got, &at) || got != 1) {
            break;
        }
        text.push_back(c);
        if (c == '\n') {
            break;
        }
    }
    return text;
}

void AppendFile::append(std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                         nullptr) ||
            written == 0) {
            fail();
        }
        bytes.remove_prefix(written);
    }
}

}  // namespace flarecast::cli
