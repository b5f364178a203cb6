#include "bluetooth/io/ProgramArguments.h"

#if defined(_WIN32)
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include <memory>

#include "bluetooth/native/windows/WindowsText.h"
#endif

namespace flarecast::bluetooth {

ProgramArguments::ProgramArguments(int argc, char** argv) {
#if defined(_WIN32)
    int count = 0;
    const std::unique_ptr<wchar_t*, decltype(&::LocalFree)> wide(
        ::CommandLineToArgvW(::GetCommandLineW(), &count), &::LocalFree);
    if (wide) {
        for (int i = 0; i < count; ++i) {
            texts.push_back(narrow(wide.get()[i]));
        }
    }
#endif
    if (texts.empty()) {
        texts.assign(argv, argv + argc);
    }
    for (std::string& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
}

}  // namespace flarecast::bluetooth
