#include "bluetooth/io/Environment.h"

#include <cstdlib>

#include "bluetooth/io/Errors.h"

#if defined(_WIN32)
#include <windows.h>

#include "bluetooth/native/windows/WindowsText.h"
#endif

namespace flarecast::bluetooth {

#if defined(_WIN32)

// From the process's own block: msvcrt makes _wgetenv's copy out of the narrow environment,
// which has already lost what the code page cannot spell. _wputenv_s writes that block too.
std::optional<std::string> environmentVariable(const char* name) {
    const std::wstring wideName = widen(name);
    std::wstring value(MAX_PATH, L'\0');
    for (;;) {
        ::SetLastError(ERROR_SUCCESS);
        const DWORD length = ::GetEnvironmentVariableW(wideName.c_str(), value.data(),
                                                       static_cast<DWORD>(value.size()));
        if (length == 0) {
            if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
                return std::nullopt;
            }
            return std::string{};
        }
        // Too small: the length asked for counts the terminating null.
        if (length >= value.size()) {
            value.resize(length);
            continue;
        }
        value.resize(length);
        return narrow(value);
    }
}

void setEnvironmentVariable(const char* name, const std::string& value) {
    if (::_wputenv_s(widen(name).c_str(), widen(value).c_str()) != 0) {
        throw RuntimeError(std::string("Cannot set ") + name);
    }
}

#else

std::optional<std::string> environmentVariable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

void setEnvironmentVariable(const char* name, const std::string& value) {
    if (::setenv(name, value.c_str(), 1) != 0) {
        throw RuntimeError(std::string("Cannot set ") + name);
    }
}

#endif

}  // namespace flarecast::bluetooth
