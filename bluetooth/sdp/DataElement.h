#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "bluetooth/io/Errors.h"
#include "bluetooth/io/Streams.h"
#include "bluetooth/io/TinyMutex.h"
#include "bluetooth/sdp/ChildList.h"
#include "bluetooth/sdp/UUID.h"

namespace flarecast::bluetooth {

// One typed SDP value, possibly a sequence of further elements. Elements are shared: the same
// child may sit in several sequences, and equality is identity.
class DataElement {
public:
    using Ptr = std::shared_ptr<DataElement>;
    using Children = std::vector<Ptr>;
    using Value = std::variant<Bytes, bluetooth::UUID, std::string, Children>;

    // Type codes: the SDP type descriptor with its size index folded in. NULL is a macro in C++,
    // hence NULLTYPE.
    static constexpr int NULLTYPE = 0x00;
    static constexpr int U_INT_1 = 0x08;
    static constexpr int U_INT_2 = 0x09;
    static constexpr int U_INT_4 = 0x0A;
    static constexpr int U_INT_8 = 0x0B;
    static constexpr int U_INT_16 = 0x0C;
    static constexpr int INT_1 = 0x10;
    static constexpr int INT_2 = 0x11;
    static constexpr int INT_4 = 0x12;
    static constexpr int INT_8 = 0x13;
    static constexpr int INT_16 = 0x14;
    static constexpr int UUID = 0x18;
    static constexpr int STRING = 0x20;
    static constexpr int BOOL = 0x28;
    static constexpr int DATSEQ = 0x30;
    static constexpr int DATALT = 0x38;
    static constexpr int URL = 0x40;

    explicit DataElement(bool value);
    // NULLTYPE, DATSEQ or DATALT.
    explicit DataElement(int valueType);
    // DATSEQ or DATALT holding children, none of them empty.
    DataElement(int valueType, ChildList children);
    // The integer types up to INT_8, each within its range.
    DataElement(int valueType, std::int64_t value);
    // U_INT_8 (8 bytes), U_INT_16 and INT_16 (16 bytes).
    DataElement(int valueType, Bytes value);
    DataElement(int valueType, const bluetooth::UUID& value);
    // STRING or URL.
    DataElement(int valueType, std::string value);
    DataElement(int valueType, const char* value) : DataElement(valueType, std::string(value)) {}

    // Only the decoder makes these: values it has checked already, and payloads that live in
    // its element group (see ElementGroup) rather than in a vector or string of their own.
    class Decoded {
        friend class DataElement;
        friend class SDPInputStream;
        Decoded() = default;
    };
    // An integer type up to INT_8 with a value read in its size, so within its range.
    DataElement(Decoded /*key*/, int valueType, std::int64_t value)
        : value(value), valueType(static_cast<std::uint8_t>(valueType)) {}
    // U_INT_8, U_INT_16 or INT_16 from their bytes.
    DataElement(Decoded key, int valueType, std::span<const std::uint8_t> bytes);
    // STRING or URL whose text lies in memory that outlives the element.
    DataElement(Decoded key, int valueType, std::string_view placedText);
    // DATSEQ or DATALT holding decoded children (see ChildList).
    DataElement(Decoded /*key*/, int valueType, ElementGroup& group,
                std::span<DataElement* const> children, DataElement** storage)
        : value(std::in_place_type<ChildList>, group, children, storage),
          valueType(static_cast<std::uint8_t>(valueType)) {}
    // A UUID read in its 16- or 32-bit form, expanded in place.
    DataElement(Decoded /*key*/, std::uint32_t shortUUID)
        : value(std::in_place_type<bluetooth::UUID>, std::int64_t{shortUUID}), valueType(UUID) {}

    template <typename... Args>
    static Ptr make(Args&&... args) {
        return std::make_shared<DataElement>(std::forward<Args>(args)...);
    }
    // A DATSEQ (or DATALT) holding children.
    static Ptr sequence(std::initializer_list<Ptr> children, int valueType = DATSEQ);

    int getDataType() const { return valueType; }
    std::int64_t getLong() const;
    bool getBoolean() const;
    // The byte array, UUID, text, or a snapshot of the children of a sequence.
    Value getValue() const;
    Children getChildren() const;
    // Visits the children of a sequence in order, under the sequence's lock; visit must not
    // change this sequence.
    template <typename Visit>
    void forEachChild(Visit&& visit) const {
        if (!isSequence(valueType)) {
            throw TypeError();
        }
        const std::lock_guard lock(childrenLock);
        std::get<ChildList>(value).forEach(visit);
    }
    // The same, visiting the children themselves rather than shared pointers to them: cheaper
    // on decoded sequences, whose children get a shared pointer only when one is asked for.
    template <typename Visit>
    void forEachChildElement(Visit&& visit) const {
        if (!isSequence(valueType)) {
            throw TypeError();
        }
        const std::lock_guard lock(childrenLock);
        std::get<ChildList>(value).forEachElement(visit);
    }
    std::size_t getSize() const;

    void addElement(Ptr element);
    void insertElementAt(const Ptr& element, std::size_t index);
    bool removeElement(const Ptr& element);

    std::string toString() const;

    static bool isSequence(int valueType) { return valueType == DATSEQ || valueType == DATALT; }
    // The types whose payload is a plain integer.
    static bool isInteger(int valueType);

private:
    friend class ElementGroup;

    // The 8 or 16 bytes of U_INT_8, U_INT_16 and INT_16, held inline.
    using WideBytes = std::array<std::uint8_t, 16>;

    void checkSequenceOperation(const Ptr& element) const;
    std::size_t wideSize() const { return valueType == U_INT_8 ? 8 : 16; }
    std::string_view text() const;

    std::variant<std::monostate, std::int64_t, bool, WideBytes, bluetooth::UUID, std::string,
                 std::string_view, ChildList>
        value;
    std::uint8_t valueType;
    mutable TinyMutex childrenLock;
    // Holders of a decoded element; see ElementGroup. Unused otherwise.
    std::atomic<std::uint32_t> holds{0};
};

}  // namespace flarecast::bluetooth
