#include "bluetooth/native/neighbourhood/SimulatedRecords.h"

#include <algorithm>

#include "bluetooth/io/Errors.h"
#include "bluetooth/records/ServiceRecord.h"
#include "bluetooth/sdp/SDPInputStream.h"
#include "bluetooth/sdp/SDPOutputStream.h"

namespace flarecast::bluetooth {

namespace {

DataElement::Ptr uuidElement(const UUID& uuid) {
    return DataElement::make(DataElement::UUID, uuid);
}

void collectUUIDs(const DataElement& element, std::vector<UUID>& found) {
    if (element.getDataType() == DataElement::UUID) {
        found.push_back(std::get<UUID>(element.getValue()));
    } else if (DataElement::isSequence(element.getDataType())) {
        element.forEachChild(
            [&found](const DataElement::Ptr& child) { collectUUIDs(*child, found); });
    }
}

bool holdsAll(const std::vector<UUID>& present, std::span<const UUID> wanted) {
    return std::all_of(wanted.begin(), wanted.end(), [&present](const UUID& uuid) {
        return std::find(present.begin(), present.end(), uuid) != present.end();
    });
}

}  // namespace

Bytes standardRecord(const Neighbourhood::Service& service, int handle,
                     std::span<const int> attrIDs) {
    const auto wanted = [&attrIDs](int id) {
        return std::find(attrIDs.begin(), attrIDs.end(), id) != attrIDs.end();
    };
    auto list = DataElement::make(DataElement::DATSEQ);
    const auto add = [&list, &wanted](int id, const DataElement::Ptr& value) {
        if (wanted(id)) {
            list->addElement(DataElement::make(DataElement::U_INT_2, std::int64_t{id}));
            list->addElement(value);
        }
    };
    add(ServiceRecord::ServiceRecordHandle,
        DataElement::make(DataElement::U_INT_4, std::int64_t{handle}));
    add(ServiceRecord::ServiceClassIDList, DataElement::sequence({uuidElement(service.uuid)}));
    add(ServiceRecord::ProtocolDescriptorList,
        DataElement::sequence(
            {DataElement::sequence({uuidElement(UUID::L2CAP_PROTOCOL_UUID)}),
             DataElement::sequence(
                 {uuidElement(UUID::RFCOMM_PROTOCOL_UUID),
                  DataElement::make(DataElement::U_INT_1, std::int64_t{service.channel})})}));
    if (service.name) {
        add(ServiceRecord::ServiceName, DataElement::make(DataElement::STRING, *service.name));
    }
    ByteArrayOutputStream bytes;
    SDPOutputStream(bytes).writeElement(*list);
    return bytes.toByteArray();
}

bool serviceHoldsAll(const Neighbourhood::Service& service, std::span<const UUID> uuids) {
    return holdsAll({service.uuid, UUID::L2CAP_PROTOCOL_UUID, UUID::RFCOMM_PROTOCOL_UUID}, uuids);
}

bool recordHoldsAll(std::span<const std::uint8_t> record, std::span<const UUID> uuids) {
    std::vector<UUID> present;
    try {
        collectUUIDs(*SDPInputStream(record).readElement(), present);
    } catch (const Error&) {
        return false;
    }
    return holdsAll(present, uuids);
}

}  // namespace flarecast::bluetooth
