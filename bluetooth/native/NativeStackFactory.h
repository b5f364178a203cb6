#pragma once

#include <memory>

#include "bluetooth/native/NativeStack.h"

namespace flarecast::bluetooth {

// The one native stack of the process, chosen on first use.
NativeStack& nativeStack();

// The stack for a FLARECAST_NEIGHBOURHOOD setting: a neighbourhood file, "demo" for the built-in
// neighbourhood, nothing for this platform's own stack. A file that cannot be used is reported in
// one line and gives an empty neighbourhood.
std::unique_ptr<NativeStack> createNativeStack(const char* neighbourhood);

// Makes stack the process's native stack. Only before the first nativeStack(); returns false,
// and leaves the stack in place, after it.
bool installNativeStack(std::unique_ptr<NativeStack> stack);

}  // namespace flarecast::bluetooth
