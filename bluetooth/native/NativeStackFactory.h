#pragma once

#include <memory>

#include "bluetooth/native/NativeStack.h"

namespace flarecast::bluetooth {

// The one native stack of the process, chosen on first use.
NativeStack& nativeStack();

// Makes stack the process's native stack. Only before the first nativeStack(); returns false,
// and leaves the stack in place, after it.
bool installNativeStack(std::unique_ptr<NativeStack> stack);

}  // namespace flarecast::bluetooth
