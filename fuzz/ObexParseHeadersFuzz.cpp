// Decodes arbitrary bytes as the headers of a received packet, at each offset the sessions use;
// whatever decodes can be sent on again.
#include "bluetooth/io/Errors.h"
#include "obex/headers/HeaderCodec.h"

using namespace flarecast::obex;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> packet(data, size);
    for (const std::size_t offset : {3, 5, 7}) {
        const HeaderSetImpl headers = parseHeaders(offset, packet);
        try {
            hsToByteArray(&headers);
        } catch (const flarecast::bluetooth::IllegalArgumentError&) {
            // A received header can be longer than one outgoing packet allows.
        }
    }
    return 0;
}
