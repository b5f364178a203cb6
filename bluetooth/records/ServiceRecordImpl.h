#pragma once

#include "bluetooth/records/AttributeTable.h"
#include "bluetooth/records/ServiceRecord.h"

namespace flarecast::bluetooth {

// A remote record (read-only, filled from its device) or, without a device, a local record that
// a server builds and registers. Attributes iterate in ascending ID order.
class ServiceRecordImpl final : public ServiceRecord {
public:
    ServiceRecordImpl(std::optional<RemoteDevice> device, std::int32_t handle)
        : device(std::move(device)), handle(handle) {}

    void setDeviceServiceClasses(int /*classes*/) override {}
    bool setAttributeValue(int id, DataElement::Ptr value) override;
    bool populateRecord(const std::vector<int>& attrIDs) override;
    const std::optional<RemoteDevice>& getHostDevice() const override { return device; }
    std::optional<std::string> getConnectionURL(int requiredSecurity,
                                                bool mustBeMaster) const override;
    DataElement::Ptr getAttributeValue(int attrID) const override;
    std::vector<int> getAttributeIDs() const override;

    std::int32_t getHandle() const { return handle; }
    // Sets attribute 0x0000, which setAttributeValue refuses, on a local record.
    void storeRecordHandle(DataElement::Ptr value) {
        attributes.put(ServiceRecordHandle, std::move(value));
    }
    // One DATSEQ of attribute ID / value pairs in SDP bytes.
    Bytes toByteArray() const;
    std::string toString() const;

    // Stores the ID / value pairs of an attribute list (one DATSEQ in SDP bytes). Fails with an
    // I/O error on anything malformed; pairs stored before the fault stay.
    void storeAttributeList(std::span<const std::uint8_t> attributeList);

private:
    std::optional<RemoteDevice> device;
    std::int32_t handle;
    AttributeTable attributes;
};

}  // namespace flarecast::bluetooth
