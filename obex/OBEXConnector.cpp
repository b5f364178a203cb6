#include "obex/OBEXConnector.h"

#include "bluetooth/connections/BluetoothStreamConnectionNotifier.h"
#include "bluetooth/connections/Connector.h"
#include "bluetooth/io/Errors.h"
#include "obex/session/OBEXConnection.h"

namespace flarecast::obex {

namespace {

using bluetooth::DataElement;
using bluetooth::ServiceRecord;
using bluetooth::UUID;

constexpr std::int64_t kSerialPort = 0x1101;
constexpr std::int64_t kObexObjectPush = 0x1105;
constexpr std::int64_t kPublicBrowseRoot = 0x1002;
constexpr int kBrowseGroupList = 0x0005;
constexpr int kServiceAvailability = 0x0008;
constexpr int kProfileDescriptorList = 0x0009;
constexpr int kSupportedFormatsList = 0x0303;

// The record of an RFCOMM server becomes the record of an OBEX Object Push server.
void describeObjectPush(ServiceRecord& record) {
    auto classes = DataElement::make(DataElement::DATSEQ);
    if (const auto current = record.getAttributeValue(ServiceRecord::ServiceClassIDList);
        current && DataElement::isSequence(current->getDataType())) {
        for (const auto& element : current->getChildren()) {
            const auto value = element->getValue();
            if (!(std::holds_alternative<UUID>(value) &&
                  std::get<UUID>(value) == UUID(kSerialPort))) {
                classes->addElement(element);
            }
        }
    }
    classes->addElement(DataElement::make(DataElement::UUID, UUID(kObexObjectPush)));
    record.setAttributeValue(ServiceRecord::ServiceClassIDList, classes);
    auto formats = DataElement::make(DataElement::DATSEQ);
    for (const std::int64_t format : {0x01, 0x02, 0x04, 0x05, 0x06, 0xFF}) {
        formats->addElement(DataElement::make(DataElement::U_INT_1, format));
    }
    record.setAttributeValue(kSupportedFormatsList, formats);
    record.setAttributeValue(kServiceAvailability,
                             DataElement::make(DataElement::U_INT_1, std::int64_t{0xFF}));
    record.setAttributeValue(
        kProfileDescriptorList,
        DataElement::sequence({DataElement::sequence(
            {DataElement::make(DataElement::UUID, UUID(kObexObjectPush)),
             DataElement::make(DataElement::U_INT_2, std::int64_t{0x0100})})}));
    record.setAttributeValue(
        kBrowseGroupList,
        DataElement::sequence({DataElement::make(DataElement::UUID, UUID(kPublicBrowseRoot))}));
}

std::unique_ptr<SessionNotifierImpl> serverFor(const std::string& rfcomm) {
    std::unique_ptr<bluetooth::Connection> opened = bluetooth::Connector::open(rfcomm);
    auto* server = dynamic_cast<bluetooth::BluetoothStreamConnectionNotifier*>(opened.get());
    if (server == nullptr) {
        throw bluetooth::TypeError("Not an RFCOMM server");
    }
    std::unique_ptr<bluetooth::BluetoothStreamConnectionNotifier> notifier(server);
    opened.release();
    describeObjectPush(notifier->getServiceRecord());
    notifier->updateServiceRecord();
    return std::make_unique<SessionNotifierImpl>(std::move(notifier));
}

}  // namespace

std::unique_ptr<bluetooth::Connection> OBEXConnector::open(const std::string& url) {
    if (!url.starts_with("btgoep://")) {
        throw bluetooth::IOError("Only OBEX Connections supported");
    }
    const std::string rfcomm = "btspp" + url.substr(6);
    if (rfcomm.starts_with("btspp://localhost")) {
        return serverFor(rfcomm);
    }
    return std::make_unique<OBEXConnection>(bluetooth::Connector::openStream(rfcomm));
}

namespace {

// What open gives, as the kind the caller needs; a type error otherwise.
template <typename Kind>
std::unique_ptr<Kind> openAs(const std::string& url, const char* refusal) {
    std::unique_ptr<bluetooth::Connection> opened = OBEXConnector::open(url);
    auto* wanted = dynamic_cast<Kind*>(opened.get());
    if (wanted == nullptr) {
        throw bluetooth::TypeError(refusal);
    }
    opened.release();
    return std::unique_ptr<Kind>(wanted);
}

}  // namespace

std::unique_ptr<ClientSession> OBEXConnector::openSession(const std::string& url) {
    return openAs<ClientSession>(url, "Not an OBEX client session");
}

std::unique_ptr<SessionNotifierImpl> OBEXConnector::openNotifier(const std::string& url) {
    return openAs<SessionNotifierImpl>(url, "Not an OBEX server");
}

}  // namespace flarecast::obex
