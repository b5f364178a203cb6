#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bluetooth/discovery/RemoteDevice.h"
#include "bluetooth/sdp/DataElement.h"

namespace flarecast::bluetooth {

// The SDP attributes that describe one service: attribute IDs mapped to data elements.
class ServiceRecord {
public:
    static constexpr int NOAUTHENTICATE_NOENCRYPT = 0;
    static constexpr int AUTHENTICATE_NOENCRYPT = 1;
    static constexpr int AUTHENTICATE_ENCRYPT = 2;

    // Universal attribute IDs.
    static constexpr int ServiceRecordHandle = 0x0000;
    static constexpr int ServiceClassIDList = 0x0001;
    static constexpr int ServiceRecordState = 0x0002;
    static constexpr int ServiceID = 0x0003;
    static constexpr int ProtocolDescriptorList = 0x0004;
    static constexpr int BrowseGroupList = 0x0005;
    static constexpr int LanguageBasedAttributeIDList = 0x0006;
    static constexpr int ServiceInfoTimeToLive = 0x0007;
    static constexpr int ServiceAvailability = 0x0008;
    static constexpr int BluetoothProfileDescriptorList = 0x0009;
    static constexpr int DocumentationURL = 0x000A;
    static constexpr int ClientExecutableURL = 0x000B;
    static constexpr int IconURL = 0x000C;
    static constexpr int ServiceName = 0x0100;
    static constexpr int ServiceDescription = 0x0101;
    static constexpr int ProviderName = 0x0102;
    static constexpr int VersionNumberList = 0x0200;
    static constexpr int ServiceDatabaseState = 0x0201;

    virtual ~ServiceRecord() = default;

    virtual void setDeviceServiceClasses(int classes) = 0;
    // Stores value under id, or removes the attribute when value is empty.
    virtual bool setAttributeValue(int id, DataElement::Ptr value) = 0;
    virtual bool populateRecord(const std::vector<int>& attrIDs) = 0;
    // Absent for a local record.
    virtual const std::optional<RemoteDevice>& getHostDevice() const = 0;
    virtual std::optional<std::string> getConnectionURL(int requiredSecurity,
                                                        bool mustBeMaster) const = 0;
    virtual DataElement::Ptr getAttributeValue(int attrID) const = 0;
    virtual std::vector<int> getAttributeIDs() const = 0;
};

}  // namespace flarecast::bluetooth
