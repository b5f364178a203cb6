#include "bluetooth/native/bluez/RecordAttributes.h"

#include "bluetooth/io/Errors.h"
#include "bluetooth/sdp/SDPInputStream.h"

namespace flarecast::bluetooth::bluez {

std::vector<std::pair<int, DataElement::Ptr>> recordAttributes(
    std::span<const std::uint8_t> record) {
    DataElement::Ptr attributes;
    try {
        SDPInputStream in(record);
        attributes = in.readElement();
    } catch (const Error&) {
        throw IOError("service record is not valid SDP data");
    }
    if (!attributes || attributes->getDataType() != DataElement::DATSEQ) {
        throw IOError("service record is not a sequence of attributes");
    }
    const auto children = attributes->getChildren();
    if (children.size() % 2 != 0) {
        throw IOError("service record has an attribute without a value");
    }
    std::vector<std::pair<int, DataElement::Ptr>> pairs;
    for (std::size_t i = 0; i < children.size(); i += 2) {
        if (children[i]->getDataType() != DataElement::U_INT_2) {
            throw IOError("service record has an attribute ID that is not a 16-bit number");
        }
        pairs.emplace_back(static_cast<int>(children[i]->getLong() & 0xFFFF), children[i + 1]);
    }
    return pairs;
}

}  // namespace flarecast::bluetooth::bluez
