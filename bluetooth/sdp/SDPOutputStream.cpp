#include "bluetooth/sdp/SDPOutputStream.h"

#include <string>

#include "bluetooth/io/Errors.h"

namespace flarecast::bluetooth {

namespace {

std::int64_t textLength(std::size_t n) {
    const auto size = static_cast<std::int64_t>(n);
    if (n < 0x100) {
        return size + 2;
    }
    if (n <= 0xFFFF) {
        return size + 3;
    }
    return size + 5;
}

}  // namespace

void SDPOutputStream::writeLong(std::int64_t value, int size) {
    for (int i = size - 1; i >= 0; --i) {
        out.write(static_cast<int>((static_cast<std::uint64_t>(value) >> (8 * i)) & 0xFF));
    }
}

void SDPOutputStream::writeText(int typeDescriptor, const std::string& text) {
    const std::size_t n = text.size();
    if (n < 0x100) {
        out.write(typeDescriptor | 5);
        writeLong(static_cast<std::int64_t>(n), 1);
    } else if (n < 0x10000) {
        out.write(typeDescriptor | 6);
        writeLong(static_cast<std::int64_t>(n), 2);
    } else {
        out.write(typeDescriptor | 7);
        writeLong(static_cast<std::int64_t>(n), 4);
    }
    writeBytes({reinterpret_cast<const std::uint8_t*>(text.data()), n});
}

void SDPOutputStream::writeElement(const DataElement& element) {
    const int type = element.getDataType();
    switch (type) {
        case DataElement::NULLTYPE:
            out.write(0x00);
            return;
        case DataElement::U_INT_1:
        case DataElement::INT_1:
            out.write(type);
            writeLong(element.getLong(), 1);
            return;
        case DataElement::U_INT_2:
        case DataElement::INT_2:
            out.write(type);
            writeLong(element.getLong(), 2);
            return;
        case DataElement::U_INT_4:
        case DataElement::INT_4:
            out.write(type);
            writeLong(element.getLong(), 4);
            return;
        case DataElement::INT_8:
            out.write(type);
            writeLong(element.getLong(), 8);
            return;
        case DataElement::U_INT_8:
        case DataElement::U_INT_16:
        case DataElement::INT_16:
            out.write(type);
            writeBytes(std::get<Bytes>(element.getValue()));
            return;
        case DataElement::UUID:
            out.write(0x1C);
            writeBytes(std::get<UUID>(element.getValue()).bytes());
            return;
        case DataElement::STRING:
        case DataElement::URL:
            writeText(type, std::get<std::string>(element.getValue()));
            return;
        case DataElement::BOOL:
            out.write(0x28);
            out.write(element.getBoolean() ? 1 : 0);
            return;
        case DataElement::DATSEQ:
        case DataElement::DATALT:
            out.write(type | 7);
            writeLong(getLength(element) - 5, 4);
            element.forEachChildElement([this](const DataElement& child) { writeElement(child); });
            return;
        default:
            throw IOError();
    }
}

std::int64_t SDPOutputStream::getLength(const DataElement& element) {
    switch (element.getDataType()) {
        case DataElement::NULLTYPE:
            return 1;
        case DataElement::U_INT_1:
        case DataElement::INT_1:
        case DataElement::BOOL:
            return 2;
        case DataElement::U_INT_2:
        case DataElement::INT_2:
            return 3;
        case DataElement::U_INT_4:
        case DataElement::INT_4:
            return 5;
        case DataElement::U_INT_8:
        case DataElement::INT_8:
            return 9;
        case DataElement::U_INT_16:
        case DataElement::INT_16:
        case DataElement::UUID:
            return 17;
        case DataElement::STRING:
        case DataElement::URL:
            return textLength(std::get<std::string>(element.getValue()).size());
        case DataElement::DATSEQ:
        case DataElement::DATALT: {
            std::int64_t length = 5;
            element.forEachChildElement(
                [&length](const DataElement& child) { length += getLength(child); });
            return length;
        }
        default:
            throw IllegalArgumentError();
    }
}

}  // namespace flarecast::bluetooth
