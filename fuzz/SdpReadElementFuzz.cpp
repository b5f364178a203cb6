// Decodes arbitrary bytes as one SDP data element, with and without the input length known;
// whatever decodes must survive encoding and decoding again unchanged.
#include <cstdlib>

#include "bluetooth/io/Errors.h"
#include "bluetooth/sdp/SDPInputStream.h"
#include "bluetooth/sdp/SDPOutputStream.h"

using namespace flarecast::bluetooth;

namespace {

DataElement::Ptr decode(std::span<const std::uint8_t> bytes, bool lengthKnown) {
    ByteArrayInputStream in(bytes);
    SDPInputStream sdp(in, lengthKnown ? std::optional<std::uint64_t>(bytes.size()) : std::nullopt);
    return sdp.readElement();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    DataElement::Ptr known;
    try {
        known = decode(bytes, true);
    } catch (const IOError&) {
    }
    try {
        decode(bytes, false);
    } catch (const IOError&) {
    }
    if (known) {
        ByteArrayOutputStream encoded;
        SDPOutputStream(encoded).writeElement(*known);
        if (decode(encoded.toByteArray(), true)->toString() != known->toString()) {
            std::abort();
        }
    }
    return 0;
}
