#include "bluetooth/io/Environment.h"

#include <cstdlib>

#include "bluetooth/io/Errors.h"

#if defined(_WIN32)
#include "bluetooth/native/windows/WindowsText.h"
#endif

namespace flarecast::bluetooth {

#if defined(_WIN32)

std::optional<std::string> environmentVariable(const char* name) {
    const wchar_t* value = ::_wgetenv(widen(name).c_str());
    if (value == nullptr) {
        return std::nullopt;
    }
    return narrow(value);
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
