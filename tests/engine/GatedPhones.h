#pragma once

// Phones whose owners answer only when the test says so: every connection's CONNECT waits until
// the test opens its phone's gate, so that tests get their order from the gates they open and
// never from delays.

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <stop_token>
#include <vector>

#include "Phones.h"
#include "bluetooth/discovery/RemoteDevice.h"
#include "bluetooth/io/Errors.h"
#include "bluetooth/io/OwnedThread.h"
#include "bluetooth/io/StoppableWaits.h"
#include "bluetooth/native/TcpSocket.h"
#include "obex/phone/TcpStreamConnection.h"
#include "obex/server/ServerSession.h"

namespace flarecast::engine {

// The owners of all gated phones of a test.
class Owners {
public:
    // A connection to that phone has come: waits until its owner answers; false when the phones
    // are going.
    bool answer(int phone, std::stop_token stop) {
        std::unique_lock guard(lock);
        ++arrived;
        ++held;
        peak = std::max(peak, held);
        changed.notify_all();
        const bool answered = bluetooth::stoppableWait(
            changed, guard, stop, [&] { return everyone || opened.contains(phone); });
        --held;
        changed.notify_all();
        return answered;
    }

    // From now on the owner of that phone answers at once.
    void open(int phone) {
        const std::lock_guard guard(lock);
        opened.insert(phone);
        changed.notify_all();
    }
    void openAll() {
        const std::lock_guard guard(lock);
        everyone = true;
        changed.notify_all();
    }
    // From now on the owner of that phone declines the object it is offered.
    void decline(int phone) {
        const std::lock_guard guard(lock);
        declining.insert(phone);
    }
    bool declines(int phone) {
        const std::lock_guard guard(lock);
        return declining.contains(phone);
    }

    // Waits, within a generous bound, until that many connections have come.
    bool waitForArrivals(int count) {
        std::unique_lock guard(lock);
        return changed.wait_for(guard, std::chrono::seconds(60), [&] { return arrived >= count; });
    }

    // The most connections that waited for their owners at one time.
    int peakHeld() {
        const std::lock_guard guard(lock);
        return peak;
    }

private:
    std::mutex lock;
    std::condition_variable_any changed;
    int arrived = 0;
    int held = 0;
    int peak = 0;
    bool everyone = false;
    std::set<int> opened;
    std::set<int> declining;
};

// An Object Push server on a loopback port whose owner is asked at each CONNECT.
class GatedPhone {
public:
    GatedPhone(Owners& owners, int number)
        : owners(owners),
          number(number),
          listening(bluetooth::TcpSocket::listenOn("127.0.0.1", 0)) {
        acceptor.start([this] { acceptClients(); });
    }
    ~GatedPhone() {
        stop.request_stop();
        listening.shutdown();
        acceptor.join();
        const std::lock_guard guard(lock);
        sessions.clear();
    }
    GatedPhone(const GatedPhone&) = delete;
    GatedPhone& operator=(const GatedPhone&) = delete;

    std::uint16_t port() const { return listening.localPort(); }

private:
    class Owner final : public obex::ServerRequestHandler {
    public:
        Owner(Owners& owners, int phone, std::stop_token stop)
            : owners(owners), phone(phone), stop(std::move(stop)) {}
        int onConnect(const obex::HeaderSet& /*request*/, obex::HeaderSet& /*reply*/) override {
            if (!owners.answer(phone, stop)) {
                throw bluetooth::IOError("The phone was switched off");
            }
            return obex::ResponseCodes::OBEX_HTTP_OK;
        }
        int onPut(obex::Operation& operation) override {
            const auto in = operation.openInputStream();
            std::array<std::uint8_t, 4096> buffer;
            while (in->read(buffer) >= 0) {
            }
            return owners.declines(phone) ? obex::ResponseCodes::OBEX_HTTP_FORBIDDEN
                                          : obex::ResponseCodes::OBEX_HTTP_OK;
        }

    private:
        Owners& owners;
        const int phone;
        std::stop_token stop;
    };

    void acceptClients() {
        while (!stop.stop_requested()) {
            bluetooth::TcpSocket client;
            try {
                client = listening.accept();
            } catch (const bluetooth::IOError&) {
                continue;
            }
            const std::lock_guard guard(lock);
            sessions.push_back(std::make_unique<obex::ServerSession>(
                std::make_unique<obex::TcpStreamConnection>(std::move(client)),
                std::make_shared<Owner>(owners, number, stop.get_token()),
                obex::ServerSession::Options{}));
            sessions.back()->start();
        }
    }

    Owners& owners;
    const int number;
    std::stop_source stop;
    bluetooth::TcpSocket listening;
    std::mutex lock;
    std::vector<std::unique_ptr<obex::ServerSession>> sessions;
    bluetooth::OwnedThread acceptor;
};

// Puts the engine, while it lives, among count devices with Object Push, addressed
// 0012345600c1 onwards and named "Phone 1" onwards, each leading to gated phone 1 onwards.
// topLevel adds keys to the file (local adapters, say), and deviceKeys to a phone's device.
class GatedNeighbourhood {
public:
    explicit GatedNeighbourhood(int count, const std::string& topLevel = "",
                                const std::function<std::string(int)>& deviceKeys = {}) {
        std::string devices;
        for (int number = 1; number <= count; ++number) {
            phones.push_back(std::make_unique<GatedPhone>(owners, number));
            devices += std::string(number > 1 ? ",\n" : "") + R"({ "address": ")" +
                       address(number) + R"(", "name": "Phone )" + std::to_string(number) +
                       R"(", "services": [ { "uuid": "1105", "channel": 9 } ], )" +
                       (deviceKeys ? deviceKeys(number) : "") + R"(
                "rfcomm": { "9": "tcp:127.0.0.1:)" +
                       std::to_string(phones.back()->port()) + R"(" } })";
        }
        swapped = std::make_unique<OtherPhones>(R"({ "inquiry_ms": 20, )" + topLevel +
                                                R"( "devices": [ )" + devices + " ] }");
    }

    static std::string address(int number) {
        return bluetooth::formatAddress(0x0012345600c0 + number);
    }

    Owners owners;

private:
    std::vector<std::unique_ptr<GatedPhone>> phones;
    std::unique_ptr<OtherPhones> swapped;
};

}  // namespace flarecast::engine
