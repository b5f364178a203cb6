#include "bluetooth/native/unavailable/UnavailableStack.h"

#include "bluetooth/discovery/DiscoveryListener.h"
#include "bluetooth/io/Errors.h"

namespace flarecast::bluetooth {

void UnavailableStack::unavailable() const {
    throw BluetoothStateException(reason);
}

int UnavailableStack::socket(bool, bool) {
    unavailable();
}
std::int64_t UnavailableStack::getsockaddress(int) {
    unavailable();
}
int UnavailableStack::getsockchannel(int) {
    unavailable();
}
void UnavailableStack::connect(int, std::int64_t, int, int) {
    unavailable();
}
void UnavailableStack::listen(int) {
    unavailable();
}
int UnavailableStack::accept(int) {
    unavailable();
}
int UnavailableStack::recv(int) {
    unavailable();
}
int UnavailableStack::recv(int, std::span<std::uint8_t>) {
    unavailable();
}
void UnavailableStack::send(int, int) {
    unavailable();
}
void UnavailableStack::send(int, std::span<const std::uint8_t>) {
    unavailable();
}
void UnavailableStack::close(int) {
    unavailable();
}
int UnavailableStack::registerService(std::span<const std::uint8_t>) {
    unavailable();
}
void UnavailableStack::unregisterService(int) {
    unavailable();
}
int UnavailableStack::doInquiry(int, const DeviceFound&, std::stop_token, int) {
    // Why was said when the stack was chosen.
    return DiscoveryListener::INQUIRY_ERROR;
}

std::optional<std::vector<int>> UnavailableStack::getServiceHandles(std::span<const UUID>,
                                                                    std::int64_t, int) {
    unavailable();
}

Bytes UnavailableStack::getServiceAttributes(std::span<const int>, std::int64_t, int, int) {
    unavailable();
}

}  // namespace flarecast::bluetooth
