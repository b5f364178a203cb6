// Feeds arbitrary bytes to the Winsock stack as the blob of a service lookup: as the records of a
// search, whose handles are read, and as the answer to an attribute request. A blob that is not
// records may only be an I/O error.
#include <vector>

#include "bluetooth/io/Errors.h"
#include "bluetooth/native/winsock/SdpBlobs.h"

using namespace flarecast::bluetooth;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<Bytes> blobs{Bytes(data, data + size)};
    try {
        winsock::recordHandles(blobs);
    } catch (const IOError&) {
    }
    try {
        const int asked[] = {0x0000, 0x0001, 0x0004, 0x0100};
        winsock::recordAttributes(blobs, 0x10000, asked);
    } catch (const IOError&) {
    }
    return 0;
}
