#pragma once

#include <cstdint>
#include <optional>

#include "bluetooth/io/Streams.h"
#include "bluetooth/sdp/DataElement.h"

namespace flarecast::bluetooth {

// Reads data elements from the SDP byte form. The bytes may come from any device in radio range,
// so every read is bounded: a read past the end, a length beyond the input, nesting deeper than
// kMaxNesting and a child that overruns its sequence are I/O errors.
class SDPInputStream final : public InputStream {
public:
    static constexpr int kMaxNesting = 32;

    // When inputLength is known, a length field beyond it fails before anything is allocated;
    // otherwise payloads are read in bounded chunks, so memory grows only with bytes received.
    explicit SDPInputStream(InputStream& in, std::optional<std::uint64_t> inputLength = {})
        : in(in), inputLength(inputLength) {}

    int read() override { return in.read(); }

    DataElement::Ptr readElement() { return readElement(0); }
    // size bytes, most significant first.
    std::int64_t readLong(int size);
    Bytes readBytes(std::uint64_t size);
    // Bytes consumed by the decoding operations so far.
    std::uint64_t getPos() const { return pos; }

private:
    DataElement::Ptr readElement(int enclosingSequences);
    DataElement::Ptr readSequence(int valueType, int sizeIndex, int enclosingSequences);
    std::uint8_t readByte();
    std::uint64_t readLength(int sizeIndex);
    void requireRemaining(std::uint64_t size) const;

    InputStream& in;
    std::optional<std::uint64_t> inputLength;
    std::uint64_t pos = 0;
};

}  // namespace flarecast::bluetooth
