#pragma once

#include "bluetooth/io/OwnedThread.h"

namespace flarecast::bluetooth {

class BluetoothPeer;
class DiscoveryListener;

// Runs one blocking native inquiry and reports its end to the listener, INQUIRY_ERROR when the
// inquiry itself failed, so that no one waits for ever.
class InquiryThread {
public:
    InquiryThread(DiscoveryListener& listener, int accessCode, BluetoothPeer& peer)
        : listener(listener), accessCode(accessCode), peer(peer) {}

    void start();
    bool finished() const { return thread.finished(); }

private:
    void run();

    DiscoveryListener& listener;
    int accessCode;
    BluetoothPeer& peer;
    OwnedThread thread;
};

}  // namespace flarecast::bluetooth
