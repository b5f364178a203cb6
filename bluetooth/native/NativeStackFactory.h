#pragma once

#include <memory>

#include "bluetooth/native/NativeStack.h"
#include "bluetooth/native/neighbourhood/VirtualPhoneHost.h"

namespace flarecast::bluetooth {

// The one native stack of the process, chosen on first use.
NativeStack& nativeStack();

// The stack for a FLARECAST_NEIGHBOURHOOD setting: a neighbourhood file, "demo" for the built-in
// neighbourhood, nothing for this machine's own stack (BlueZ on Linux, on the adapter that
// FLARECAST_ADAPTER names or the first one; Winsock on Windows, on its radio; without one, a stack
// that finds nothing, after one line that says what is missing). A file that cannot be used is reported in
// one line and gives an empty neighbourhood. The neighbourhood's virtual phones run on
// phoneHost; without one, connecting to a phone fails.
std::unique_ptr<NativeStack> createNativeStack(
    const char* neighbourhood, std::shared_ptr<VirtualPhoneHost> phoneHost = nullptr);

// Makes stack the process's native stack. Only before the first nativeStack(); returns false,
// and leaves the stack in place, after it.
bool installNativeStack(std::unique_ptr<NativeStack> stack);

// What runs the virtual phones of the neighbourhood that nativeStack() will choose. Only before
// the first nativeStack(); returns false after it.
bool installVirtualPhoneHost(std::shared_ptr<VirtualPhoneHost> host);

}  // namespace flarecast::bluetooth
