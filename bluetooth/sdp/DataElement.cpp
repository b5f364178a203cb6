#include "bluetooth/sdp/DataElement.h"

#include <algorithm>
#include <limits>

#include "bluetooth/io/Errors.h"

namespace flarecast::bluetooth {

namespace {

struct Range {
    std::int64_t low;
    std::int64_t high;
};

bool rangeOf(int valueType, Range& range) {
    switch (valueType) {
        case DataElement::U_INT_1:
            range = {0, 0xFF};
            return true;
        case DataElement::U_INT_2:
            range = {0, 0xFFFF};
            return true;
        case DataElement::U_INT_4:
            range = {0, 0xFFFFFFFFLL};
            return true;
        case DataElement::INT_1:
            range = {-0x80, 0x7F};
            return true;
        case DataElement::INT_2:
            range = {-0x8000, 0x7FFF};
            return true;
        case DataElement::INT_4:
            range = {std::numeric_limits<std::int32_t>::min(),
                     std::numeric_limits<std::int32_t>::max()};
            return true;
        case DataElement::INT_8:
            range = {std::numeric_limits<std::int64_t>::min(),
                     std::numeric_limits<std::int64_t>::max()};
            return true;
        default:
            return false;
    }
}

}  // namespace

DataElement::DataElement(bool value) : value(value), valueType(BOOL) {}

DataElement::DataElement(int valueType) : valueType(static_cast<std::uint8_t>(valueType)) {
    if (isSequence(valueType)) {
        value = ChildList{};
    } else if (valueType != NULLTYPE) {
        throw IllegalArgumentError();
    }
}

DataElement::DataElement(int valueType, ChildList children)
    : value(std::move(children)), valueType(static_cast<std::uint8_t>(valueType)) {
    if (!isSequence(valueType)) {
        throw IllegalArgumentError();
    }
    std::get<ChildList>(value).forEach([](const Ptr& child) {
        if (!child) {
            throw NullReferenceError();
        }
    });
}

DataElement::DataElement(int valueType, std::int64_t value)
    : value(value), valueType(static_cast<std::uint8_t>(valueType)) {
    Range range{};
    if (!rangeOf(valueType, range) || value < range.low || value > range.high) {
        throw IllegalArgumentError();
    }
}

DataElement::DataElement(int valueType, Bytes value)
    : DataElement(Decoded(), valueType, std::span<const std::uint8_t>(value)) {}

DataElement::DataElement(Decoded /*key*/, int valueType, std::span<const std::uint8_t> bytes)
    : valueType(static_cast<std::uint8_t>(valueType)) {
    const std::size_t required = valueType == U_INT_8                             ? 8
                                 : (valueType == U_INT_16 || valueType == INT_16) ? 16
                                                                                  : 0;
    if (required == 0 || bytes.size() != required) {
        throw IllegalArgumentError();
    }
    WideBytes wide{};
    std::copy(bytes.begin(), bytes.end(), wide.begin());
    value = wide;
}

DataElement::DataElement(int valueType, const bluetooth::UUID& value)
    : value(value), valueType(static_cast<std::uint8_t>(valueType)) {
    if (valueType != UUID) {
        throw IllegalArgumentError();
    }
}

DataElement::DataElement(int valueType, std::string value)
    : value(std::move(value)), valueType(static_cast<std::uint8_t>(valueType)) {
    if (valueType != STRING && valueType != URL) {
        throw IllegalArgumentError();
    }
}

DataElement::DataElement(Decoded /*key*/, int valueType, std::string_view placedText)
    : value(placedText), valueType(static_cast<std::uint8_t>(valueType)) {
    if (valueType != STRING && valueType != URL) {
        throw IllegalArgumentError();
    }
}

std::string_view DataElement::text() const {
    if (const auto* owned = std::get_if<std::string>(&value)) {
        return *owned;
    }
    return std::get<std::string_view>(value);
}

DataElement::Ptr DataElement::sequence(std::initializer_list<Ptr> children, int valueType) {
    ChildList list;
    for (const auto& child : children) {
        list.push_back(child);
    }
    return make(valueType, std::move(list));
}

bool DataElement::isInteger(int valueType) {
    Range ignored{};
    return rangeOf(valueType, ignored);
}

std::int64_t DataElement::getLong() const {
    if (!isInteger(valueType)) {
        throw TypeError();
    }
    return std::get<std::int64_t>(value);
}

bool DataElement::getBoolean() const {
    if (valueType != BOOL) {
        throw TypeError();
    }
    return std::get<bool>(value);
}

DataElement::Value DataElement::getValue() const {
    if (const auto* wide = std::get_if<WideBytes>(&value)) {
        return Bytes(wide->begin(), wide->begin() + static_cast<std::ptrdiff_t>(wideSize()));
    }
    if (const auto* uuid = std::get_if<bluetooth::UUID>(&value)) {
        return *uuid;
    }
    if (valueType == STRING || valueType == URL) {
        return std::string(text());
    }
    if (isSequence(valueType)) {
        return getChildren();
    }
    throw TypeError();
}

DataElement::Children DataElement::getChildren() const {
    if (!isSequence(valueType)) {
        throw TypeError();
    }
    const std::lock_guard lock(childrenLock);
    return std::get<ChildList>(value).toVector();
}

std::size_t DataElement::getSize() const {
    if (!isSequence(valueType)) {
        throw TypeError();
    }
    const std::lock_guard lock(childrenLock);
    return std::get<ChildList>(value).size();
}

void DataElement::checkSequenceOperation(const Ptr& element) const {
    if (!element) {
        throw NullReferenceError();
    }
    if (!isSequence(valueType)) {
        throw TypeError();
    }
}

void DataElement::addElement(Ptr element) {
    checkSequenceOperation(element);
    const std::lock_guard lock(childrenLock);
    std::get<ChildList>(value).push_back(std::move(element));
}

void DataElement::insertElementAt(const Ptr& element, std::size_t index) {
    checkSequenceOperation(element);
    const std::lock_guard lock(childrenLock);
    auto& children = std::get<ChildList>(value);
    if (index > children.size()) {
        throw IndexError();
    }
    children.insert(index, element);
}

bool DataElement::removeElement(const Ptr& element) {
    checkSequenceOperation(element);
    const std::lock_guard lock(childrenLock);
    return std::get<ChildList>(value).remove(element);
}

std::string DataElement::toString() const {
    if (isInteger(valueType)) {
        return "0x" +
               hexWithoutLeadingZeros(static_cast<std::uint64_t>(std::get<std::int64_t>(value)));
    }
    switch (valueType) {
        case U_INT_8:
        case U_INT_16:
        case INT_16: {
            return hexString(std::get<WideBytes>(value).data(), wideSize());
        }
        case UUID:
            return std::get<bluetooth::UUID>(value).toString();
        case STRING:
        case URL:
            return std::string(text());
        case BOOL:
            return std::get<bool>(value) ? "true" : "false";
        case DATSEQ:
        case DATALT: {
            std::string text = valueType == DATSEQ ? "DATSEQ {\n" : "DATALT {\n";
            forEachChildElement([&text](const DataElement& child) {
                text += child.toString();
                text += '\n';
            });
            return text + "}";
        }
        default:
            return "???";
    }
}

}  // namespace flarecast::bluetooth
