#include "bluetooth/native/NativeStackFactory.h"

#include <mutex>

#include "bluetooth/native/unavailable/UnavailableStack.h"

namespace flarecast::bluetooth {

namespace {

struct TheStack {
    std::mutex lock;
    std::unique_ptr<NativeStack> stack;
    bool chosen = false;
};

TheStack& theStack() {
    static TheStack instance;
    return instance;
}

}  // namespace

NativeStack& nativeStack() {
    TheStack& the = theStack();
    const std::lock_guard lock(the.lock);
    if (!the.stack) {
        the.stack = std::make_unique<UnavailableStack>();
    }
    the.chosen = true;
    return *the.stack;
}

bool installNativeStack(std::unique_ptr<NativeStack> stack) {
    TheStack& the = theStack();
    const std::lock_guard lock(the.lock);
    if (the.chosen) {
        return false;
    }
    the.stack = std::move(stack);
    return true;
}

}  // namespace flarecast::bluetooth
