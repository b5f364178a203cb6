#pragma once

#include <cstdint>

#include "bluetooth/io/Streams.h"
#include "bluetooth/sdp/DataElement.h"

namespace flarecast::bluetooth {

// Writes data elements in the SDP byte form, straight to the wrapped stream.
class SDPOutputStream final : public OutputStream {
public:
    explicit SDPOutputStream(OutputStream& out) : out(out) {}

    void write(int byte) override { out.write(byte); }
    void write(std::span<const std::uint8_t> bytes) override { out.write(bytes); }

    void writeElement(const DataElement& element);
    // The number of bytes writeElement produces for the element.
    static std::int64_t getLength(const DataElement& element);
    // The low size bytes of value, most significant first.
    void writeLong(std::int64_t value, int size);
    void writeBytes(std::span<const std::uint8_t> bytes) { out.write(bytes); }

private:
    void writeText(int typeDescriptor, const std::string& text);

    OutputStream& out;
};

}  // namespace flarecast::bluetooth
