#pragma once

#include <stop_token>

#include "bluetooth/io/OwnedThread.h"

namespace flarecast::bluetooth {

class BluetoothPeer;
class DiscoveryListener;

// Runs one blocking native inquiry and reports its end to the listener, INQUIRY_ERROR when the
// inquiry itself failed, so that no one waits for ever.
class InquiryThread {
public:
    InquiryThread(DiscoveryListener& listener, int accessCode, BluetoothPeer& peer, int adapter)
        : listener(listener), accessCode(accessCode), peer(peer), adapter(adapter) {}

    void start();
    bool finished() const { return thread.finished(); }
    bool reportsTo(const DiscoveryListener& other) const { return &listener == &other; }
    // Ends this inquiry early; true when it had not been asked to already.
    bool cancel() { return stop.request_stop(); }

private:
    void run();

    DiscoveryListener& listener;
    int accessCode;
    BluetoothPeer& peer;
    int adapter;
    std::stop_source stop;
    OwnedThread thread;
};

}  // namespace flarecast::bluetooth
