// Opens arbitrary text as a connection URL. No stack is installed, so every URL that parses ends
// at the unavailable stack; parsing must fail only with the errors it documents.
#include "bluetooth/connections/Connector.h"
#include "bluetooth/io/Errors.h"

using namespace flarecast::bluetooth;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        Connector::open(std::string(reinterpret_cast<const char*>(data), size));
    } catch (const IOError&) {
    } catch (const IllegalArgumentError&) {
    } catch (const NumberFormatError&) {
    }
    return 0;
}
