#include "bluetooth/native/NativeStackFactory.h"

#include <cstdlib>
#include <mutex>
#include <string>

#include "bluetooth/io/Console.h"
#include "bluetooth/io/Environment.h"
#include "bluetooth/io/Errors.h"
#include "bluetooth/native/neighbourhood/NeighbourhoodFile.h"
#include "bluetooth/native/neighbourhood/NeighbourhoodStack.h"
#include "bluetooth/native/unavailable/UnavailableStack.h"

#if FLARECAST_WITH_BLUEZ
#include "bluetooth/native/bluez/BluezStack.h"
#endif
#if FLARECAST_WITH_WINSOCK
#include "bluetooth/native/winsock/WinsockStack.h"
#endif

namespace flarecast::bluetooth {

namespace {

struct TheStack {
    std::mutex lock;
    std::unique_ptr<NativeStack> stack;
    std::shared_ptr<VirtualPhoneHost> phoneHost;
    bool chosen = false;
};

TheStack& theStack() {
    static TheStack instance;
    return instance;
}

// This machine's own Bluetooth; without it the program still runs, says once what is missing,
// and finds nothing.
std::unique_ptr<NativeStack> platformStack() {
#if FLARECAST_WITH_BLUEZ || FLARECAST_WITH_WINSOCK
    try {
#if FLARECAST_WITH_BLUEZ
        return bluez::BluezStack::open(environmentVariable("FLARECAST_ADAPTER").value_or(""));
#else
        return winsock::WinsockStack::open();
#endif
    } catch (const IOError& error) {
        printLine("Bluetooth is not available: " + error.getMessage());
        return std::make_unique<UnavailableStack>(error.getMessage());
    }
#else
    printLine("Bluetooth is not available: this build has no Bluetooth stack for this system");
    return std::make_unique<UnavailableStack>("no Bluetooth stack for this system");
#endif
}

}  // namespace

std::unique_ptr<NativeStack> createNativeStack(const char* neighbourhood,
                                               std::shared_ptr<VirtualPhoneHost> phoneHost) {
    if (neighbourhood == nullptr || *neighbourhood == '\0') {
        return platformStack();
    }
    const std::string source(neighbourhood);
    try {
        return std::make_unique<NeighbourhoodStack>(
            source == "demo" ? demoNeighbourhood() : loadNeighbourhoodFile(source),
            std::move(phoneHost));
    } catch (const NeighbourhoodError& error) {
        printLine(error.getMessage());
        return std::make_unique<NeighbourhoodStack>(Neighbourhood{});
    }
}

NativeStack& nativeStack() {
    TheStack& the = theStack();
    const std::lock_guard lock(the.lock);
    if (!the.stack) {
        const auto neighbourhood = environmentVariable("FLARECAST_NEIGHBOURHOOD");
        the.stack =
            createNativeStack(neighbourhood ? neighbourhood->c_str() : nullptr, the.phoneHost);
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

bool installVirtualPhoneHost(std::shared_ptr<VirtualPhoneHost> host) {
    TheStack& the = theStack();
    const std::lock_guard lock(the.lock);
    if (the.chosen) {
        return false;
    }
    the.phoneHost = std::move(host);
    return true;
}

}  // namespace flarecast::bluetooth
