#include "bluetooth/discovery/InquiryThread.h"

#include <exception>

#include "bluetooth/discovery/DiscoveryListener.h"
#include "bluetooth/io/Console.h"
#include "bluetooth/native/BluetoothPeer.h"

namespace flarecast::bluetooth {

void InquiryThread::start() {
    thread.start([this] { run(); });
}

void InquiryThread::run() {
    int discoveryType = DiscoveryListener::INQUIRY_ERROR;
    try {
        discoveryType = peer.doInquiry(accessCode, listener, stop.get_token(), adapter);
    } catch (const std::exception& error) {
        printLine(error.what());
    }
    try {
        listener.inquiryCompleted(discoveryType);
    } catch (const std::exception& error) {
        printLine(error.what());
    }
}

}  // namespace flarecast::bluetooth
