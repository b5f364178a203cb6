// Feeds arbitrary bytes to populateRecord as a device's answer to the attribute query, then uses
// the record as the search thread and the listener would.
#include "bluetooth/discovery/LocalDevice.h"
#include "bluetooth/records/ServiceRecordImpl.h"
#include "tests/bluetooth/FakeStack.h"

using namespace flarecast::bluetooth;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    testing::fakeStack().attributeList.assign(data, data + size);
    ServiceRecordImpl record(RemoteDevice("phone", 0x00123456789a), 0x10000);
    try {
        record.populateRecord({0, 1, 2, 3, 4});
    } catch (const IOError&) {
    }
    record.getConnectionURL(ServiceRecord::NOAUTHENTICATE_NOENCRYPT, false);
    record.toString();
    return 0;
}
