// Reads arbitrary text as a neighbourhood file: it is either used or refused with a
// NeighbourhoodError, and a world that loads can serve an inquiry and searches.
#include "bluetooth/native/neighbourhood/NeighbourhoodFile.h"
#include "bluetooth/native/neighbourhood/NeighbourhoodStack.h"

using namespace flarecast::bluetooth;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Neighbourhood world;
    try {
        world = parseNeighbourhood({reinterpret_cast<const char*>(data), size}, "fuzz.json");
    } catch (const NeighbourhoodError&) {
        return 0;
    }
    // Only what the file says is under test, not how long it says things take.
    world.inquiryMs = 0;
    world.radio.reset();
    NeighbourhoodStack stack(world);
    const auto adapters = static_cast<int>(stack.adapters().size());
    for (int adapter = 0; adapter < adapters; ++adapter) {
        stack.doInquiry(
            0x9E8B33, [](const std::string&, std::int64_t, int) {}, {}, adapter);
    }
    const UUID objectPush(0x1105);
    const int defaults[] = {0, 1, 2, 3, 4};
    for (const auto& device : world.devices) {
        try {
            if (const auto handles = stack.getServiceHandles({&objectPush, 1}, device.address, 0)) {
                for (const int handle : *handles) {
                    stack.getServiceAttributes(defaults, device.address, handle, 0);
                }
            }
        } catch (const IOError&) {
        }
    }
    return 0;
}
