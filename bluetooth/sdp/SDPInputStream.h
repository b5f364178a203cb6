#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "bluetooth/io/Streams.h"
#include "bluetooth/sdp/DataElement.h"

namespace flarecast::bluetooth {

class ElementGroup;

// Reads data elements from the SDP byte form. The bytes may come from any device in radio range,
// so every read is bounded: a read past the end, a length beyond the input, nesting deeper than
// kMaxNesting and a child that overruns its sequence are I/O errors. The elements it decodes are
// placed in a few chunks of one ElementGroup rather than allocated one by one.
class SDPInputStream final : public InputStream {
public:
    static constexpr int kMaxNesting = 32;
    using AttributePairs = std::vector<std::pair<int, DataElement::Ptr>>;

    // When inputLength is known, a length field beyond it fails before anything is allocated;
    // otherwise payloads are read in bounded chunks, so memory grows only with bytes received.
    explicit SDPInputStream(InputStream& in, std::optional<std::uint64_t> inputLength = {})
        : in(&in), inputLength(inputLength) {}
    // Decodes bytes already in memory, without a stream call per field.
    explicit SDPInputStream(std::span<const std::uint8_t> bytes)
        : memory(bytes), inputLength(bytes.size()) {}
    SDPInputStream(const SDPInputStream&) = delete;
    SDPInputStream& operator=(const SDPInputStream&) = delete;
    ~SDPInputStream() override;

    int read() override;

    DataElement::Ptr readElement();
    // Reads an attribute list, a sequence of integer ID / value pairs, handing each pair to
    // visit as it is decoded. Anything else, an odd count included, is an I/O error; pairs
    // visited before the fault stay visited.
    void readAttributeList(const std::function<void(int id, DataElement::Ptr value)>& visit);
    // The same, appending the pairs to pairs.
    void readAttributeList(AttributePairs& pairs);
    // size bytes, most significant first.
    std::int64_t readLong(int size);
    Bytes readBytes(std::uint64_t size);
    // Bytes consumed by the decoding operations so far.
    std::uint64_t getPos() const { return pos; }

private:
    ElementGroup& elementGroup();
    template <typename Visit>
    void readPairs(Visit&& visit);
    // The next element, placed in the group and held once for the caller.
    DataElement& readPlaced(int enclosingSequences);
    // A decoded element from the rest of DataElement's constructor arguments.
    template <typename... Args>
    DataElement& place(Args&&... args);
    // U_INT_8, U_INT_16 or INT_16.
    template <std::size_t Size>
    DataElement& readWide(int valueType);
    DataElement& readText(int valueType, std::uint64_t length);
    // An integer element's value, without building the element.
    std::int64_t readInteger();
    DataElement& readSequence(int valueType, int sizeIndex, int enclosingSequences);
    // Exactly Size bytes within the input length into destination, or an I/O error.
    template <std::size_t Size>
    void readFixed(std::uint8_t* destination);
    // Size bytes, most significant first, within the input length.
    template <std::size_t Size>
    std::uint64_t readUnsigned();
    std::uint8_t readByte();
    // Exactly count bytes into destination, or an I/O error; advances pos.
    void readRaw(std::uint8_t* destination, std::size_t count);
    void readFromStream(std::uint8_t* destination, std::size_t count);
    std::uint64_t readLength(int sizeIndex);
    void requireRemaining(std::uint64_t size) const;

    InputStream* in = nullptr;
    std::span<const std::uint8_t> memory;
    std::size_t cursor = 0;
    std::optional<std::uint64_t> inputLength;
    std::uint64_t pos = 0;
    // Opened on the first element; closed with the stream.
    ElementGroup* group = nullptr;
    // Children decoded so far of the sequences being read, innermost last, each held once here.
    // A few dozen stay inline; more go to the heap.
    class PendingChildren {
    public:
        std::size_t size() const { return count; }
        DataElement* const* data() const {
            return spilled.empty() ? inlined.data() : spilled.data();
        }
        void push_back(DataElement* child) {
            if (count < inlined.size() && spilled.empty()) {
                inlined[count++] = child;
                return;
            }
            if (spilled.empty()) {
                spilled.assign(inlined.begin(), inlined.end());
            }
            spilled.push_back(child);
            ++count;
        }
        // Keeps the first size children; size is at most size().
        void resize(std::size_t size) {
            count = size;
            if (!spilled.empty()) {
                spilled.resize(size);
            }
        }

    private:
        std::array<DataElement*, 32> inlined;
        std::vector<DataElement*> spilled;
        std::size_t count = 0;
    };
    PendingChildren pending;
};

}  // namespace flarecast::bluetooth
