#include "bluetooth/records/ServiceRecordImpl.h"

#include <algorithm>

#include "bluetooth/discovery/LocalDevice.h"
#include "bluetooth/io/Errors.h"
#include "bluetooth/sdp/HexText.h"
#include "bluetooth/sdp/SDPInputStream.h"
#include "bluetooth/sdp/SDPOutputStream.h"

namespace flarecast::bluetooth {

namespace {

constexpr int kMaxAttributeID = 0xFFFF;

}  // namespace

DataElement::Ptr ServiceRecordImpl::getAttributeValue(int attrID) const {
    if (attrID < 0 || attrID >= kMaxAttributeID) {
        throw IllegalArgumentError();
    }
    return attributes.get(attrID);
}

std::vector<int> ServiceRecordImpl::getAttributeIDs() const {
    std::vector<int> ids;
    for (const auto& [id, value] : attributes.entries()) {
        ids.push_back(id);
    }
    return ids;
}

bool ServiceRecordImpl::setAttributeValue(int id, DataElement::Ptr value) {
    if (device) {
        throw RuntimeError();
    }
    if (id <= 0 || id > kMaxAttributeID) {
        throw IllegalArgumentError();
    }
    if (value) {
        attributes.put(id, std::move(value));
        return true;
    }
    return attributes.erase(id);
}

bool ServiceRecordImpl::populateRecord(const std::vector<int>& attrIDs) {
    if (!device) {
        throw RuntimeError();
    }
    if (attrIDs.empty()) {
        throw IllegalArgumentError();
    }
    std::vector<int> sorted = attrIDs;
    std::sort(sorted.begin(), sorted.end());
    if (sorted.front() < 0 || sorted.back() > kMaxAttributeID ||
        std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) {
        throw IllegalArgumentError();
    }
    Bytes attributeList;
    try {
        attributeList = LocalDevice::getLocalDevice().getBluetoothPeer().getServiceAttributes(
            sorted, device->getAddress(), handle, device->getAdapter());
    } catch (const Error&) {
        throw IOError();
    }
    if (attributeList.empty()) {
        return false;
    }
    storeAttributeList(attributeList);
    return true;
}

void ServiceRecordImpl::storeAttributeList(std::span<const std::uint8_t> attributeList) {
    SDPInputStream::AttributePairs pairs;
    // Typical records hold fewer attributes; more only cost a regrowth.
    pairs.reserve(16);
    try {
        SDPInputStream(attributeList).readAttributeList(pairs);
    } catch (const Error&) {
        attributes.putAll(std::move(pairs));
        throw IOError();
    }
    attributes.putAll(std::move(pairs));
}

std::optional<std::string> ServiceRecordImpl::getConnectionURL(int requiredSecurity,
                                                               bool mustBeMaster) const {
    const DataElement::Ptr protocols = getAttributeValue(ProtocolDescriptorList);
    if (!protocols || protocols->getDataType() != DataElement::DATSEQ) {
        return std::nullopt;
    }
    int channel = -1;
    for (const auto& protocol : protocols->getChildren()) {
        if (protocol->getDataType() != DataElement::DATSEQ) {
            continue;
        }
        // RFCOMM's UUID, then the channel; the parts are only looked at, so no shared pointers.
        std::size_t part = 0;
        bool rfcomm = false;
        std::optional<std::int64_t> number;
        protocol->forEachChildElement([&](const DataElement& element) {
            if (part == 0) {
                rfcomm = element.getDataType() == DataElement::UUID &&
                         std::get<UUID>(element.getValue()) == UUID::RFCOMM_PROTOCOL_UUID;
            } else if (part == 1 && DataElement::isInteger(element.getDataType())) {
                number = element.getLong();
            }
            ++part;
        });
        if (rfcomm && number) {
            channel = static_cast<int>(*number);
        }
    }
    if (channel == -1) {
        return std::nullopt;
    }
    std::string url = "btspp://";
    if (device) {
        url += device->getBluetoothAddress();
    } else {
        try {
            url += LocalDevice::getLocalDevice().getBluetoothAddress();
        } catch (const BluetoothStateException&) {
            url += "localhost";
        }
    }
    url.append(":").append(std::to_string(channel));
    switch (requiredSecurity) {
        case NOAUTHENTICATE_NOENCRYPT:
            url += ";authenticate=false;encrypt=false";
            break;
        case AUTHENTICATE_NOENCRYPT:
            url += ";authenticate=true;encrypt=false";
            break;
        case AUTHENTICATE_ENCRYPT:
            url += ";authenticate=true;encrypt=true";
            break;
        default:
            throw IllegalArgumentError();
    }
    if (mustBeMaster) {
        url += ";master=true";
    }
    return url;
}

Bytes ServiceRecordImpl::toByteArray() const {
    const auto list = DataElement::make(DataElement::DATSEQ);
    for (const auto& [id, value] : attributes.entries()) {
        list->addElement(DataElement::make(DataElement::U_INT_2, std::int64_t{id}));
        list->addElement(value);
    }
    ByteArrayOutputStream bytes;
    SDPOutputStream(bytes).writeElement(*list);
    return bytes.toByteArray();
}

std::string ServiceRecordImpl::toString() const {
    std::string text = "{\n";
    for (const auto& [id, value] : attributes.entries()) {
        text.append("0x")
            .append(hexWithoutLeadingZeros(static_cast<std::uint64_t>(id)))
            .append(":\n");
        text.append(value->toString()).append("\n");
    }
    return text + "}";
}

}  // namespace flarecast::bluetooth
