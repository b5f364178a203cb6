#include "bluetooth/native/winsock/SdpBlobs.h"

#include <algorithm>
#include <variant>

#include "bluetooth/io/Errors.h"
#include "bluetooth/sdp/SDPInputStream.h"
#include "bluetooth/sdp/SDPOutputStream.h"

namespace flarecast::bluetooth::winsock {

namespace {

constexpr int kRecordHandle = 0x0000;
constexpr int kServiceClassIDList = 0x0001;

RecordPairs recordOf(const DataElement& record) {
    if (record.getDataType() != DataElement::DATSEQ) {
        throw IOError("service record is not a sequence of attributes");
    }
    const auto children = record.getChildren();
    if (children.size() % 2 != 0) {
        throw IOError("service record has an attribute without a value");
    }
    RecordPairs pairs;
    pairs.reserve(children.size() / 2);
    for (std::size_t i = 0; i < children.size(); i += 2) {
        if (children[i]->getDataType() != DataElement::U_INT_2) {
            throw IOError("service record has an attribute ID that is not a 16-bit number");
        }
        pairs.emplace_back(static_cast<int>(children[i]->getLong()), children[i + 1]);
    }
    return pairs;
}

const DataElement::Ptr* find(const RecordPairs& record, int id) {
    const auto found = std::find_if(record.begin(), record.end(),
                                    [id](const auto& pair) { return pair.first == id; });
    return found == record.end() ? nullptr : &found->second;
}

// Attribute 0x0000, which SDP makes a 32-bit unsigned number.
std::optional<std::uint32_t> handleOf(const RecordPairs& record) {
    const DataElement::Ptr* value = find(record, kRecordHandle);
    if (value == nullptr) {
        return std::nullopt;
    }
    const int type = (*value)->getDataType();
    if (type != DataElement::U_INT_1 && type != DataElement::U_INT_2 &&
        type != DataElement::U_INT_4) {
        throw IOError("service record handle is not an unsigned number");
    }
    return static_cast<std::uint32_t>((*value)->getLong());
}

Bytes encoded(const DataElement& element) {
    ByteArrayOutputStream bytes;
    SDPOutputStream(bytes).writeElement(element);
    return bytes.toByteArray();
}

Bytes encodedRecord(const RecordPairs& pairs) {
    const auto sequence = DataElement::make(DataElement::DATSEQ);
    for (const auto& [id, value] : pairs) {
        sequence->addElement(DataElement::make(DataElement::U_INT_2, std::int64_t{id}));
        sequence->addElement(value);
    }
    return encoded(*sequence);
}

}  // namespace

std::vector<RecordPairs> blobRecords(std::span<const std::uint8_t> blob) {
    DataElement::Ptr top;
    try {
        SDPInputStream in(blob);
        top = in.readElement();
    } catch (const Error&) {
        throw IOError("service record is not valid SDP data");
    }
    if (!top || top->getDataType() != DataElement::DATSEQ) {
        throw IOError("service record is not a sequence of attributes");
    }
    const auto children = top->getChildren();
    // A record starts with an attribute ID, a list of records with a record.
    if (children.empty() || children.front()->getDataType() != DataElement::DATSEQ) {
        return {recordOf(*top)};
    }
    std::vector<RecordPairs> records;
    records.reserve(children.size());
    for (const auto& child : children) {
        records.push_back(recordOf(*child));
    }
    return records;
}

std::vector<int> recordHandles(const std::vector<Bytes>& blobs) {
    std::vector<int> handles;
    for (const auto& blob : blobs) {
        for (const auto& record : blobRecords(blob)) {
            const auto handle = handleOf(record);
            if (!handle) {
                throw IOError("service record has no handle");
            }
            handles.push_back(static_cast<int>(*handle));
        }
    }
    return handles;
}

Bytes recordAttributes(const std::vector<Bytes>& blobs, int handle, std::span<const int> attrIDs) {
    std::vector<RecordPairs> records;
    for (const auto& blob : blobs) {
        for (auto& record : blobRecords(blob)) {
            records.push_back(std::move(record));
        }
    }
    const RecordPairs* chosen = nullptr;
    for (const auto& record : records) {
        if (handleOf(record) == static_cast<std::uint32_t>(handle)) {
            chosen = &record;
            break;
        }
    }
    if (chosen == nullptr && records.size() == 1 && !handleOf(records.front())) {
        chosen = &records.front();
    }
    if (chosen == nullptr) {
        return {};
    }
    std::vector<int> wanted(attrIDs.begin(), attrIDs.end());
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    RecordPairs kept;
    for (const int id : wanted) {
        if (const DataElement::Ptr* value = find(*chosen, id)) {
            kept.emplace_back(id, *value);
        }
    }
    return kept.empty() ? Bytes{} : encodedRecord(kept);
}

Bytes withoutRecordHandle(std::span<const std::uint8_t> record) {
    const auto records = blobRecords(record);
    if (records.size() != 1) {
        throw IOError("service record is not a sequence of attributes");
    }
    RecordPairs kept;
    for (const auto& pair : records.front()) {
        if (pair.first != kRecordHandle) {
            kept.push_back(pair);
        }
    }
    return encodedRecord(kept);
}

std::optional<UUID> firstServiceClass(std::span<const std::uint8_t> record) {
    const auto records = blobRecords(record);
    if (records.size() != 1) {
        return std::nullopt;
    }
    const DataElement::Ptr* classes = find(records.front(), kServiceClassIDList);
    if (classes == nullptr || !DataElement::isSequence((*classes)->getDataType())) {
        return std::nullopt;
    }
    for (const auto& element : (*classes)->getChildren()) {
        if (element->getDataType() == DataElement::UUID) {
            return std::get<UUID>(element->getValue());
        }
    }
    return std::nullopt;
}

}  // namespace flarecast::bluetooth::winsock
