#pragma once

#include <memory>
#include <stop_token>

#include "bluetooth/native/neighbourhood/VirtualPhoneProfile.h"
#include "obex/phone/ReceivedObject.h"
#include "obex/server/ServerRequestHandler.h"

namespace flarecast::obex {

// A virtual phone's side of one client's session: refuses, asks its owner, and receives
// objects as its description says. Objects are checked at their first packet, so that a
// refused one costs no body transfer, and saved as their packets arrive; nothing of an object
// that ends without completing stays.
class PhoneRequestHandler final : public ServerRequestHandler {
public:
    // The description and the stop token must outlive the handler's session.
    PhoneRequestHandler(const bluetooth::VirtualPhoneProfile& profile, std::stop_token stop)
        : profile(profile), stop(std::move(stop)) {}

    int onConnect(const HeaderSet& request, HeaderSet& reply) override;
    int onPutPacket(Operation& operation) override;
    int onPut(Operation& operation) override;
    void onPutAbandoned() noexcept override { discard(); }

private:
    bool strict() const { return profile.preset == bluetooth::VirtualPhoneProfile::Preset::Strict; }
    // Continue (0x90) or the code that refuses the object.
    int beginObject(Operation& operation);
    int askOwner();
    int refuse(int code);
    // Forgets the object being received, and removes what was saved of it.
    void discard() noexcept;
    // Drains what has arrived of the object, into the file when there is one; to its end when
    // whole.
    void receive(bluetooth::InputStream& body, bool whole, ReceivedObject* into);
    // An I/O error that drops the connection.
    void drop(const char* why);

    const bluetooth::VirtualPhoneProfile& profile;
    const std::stop_token stop;
    bool ownerAccepted = false;
    bool refusedBefore = false;
    // The body stream of the object being received: a PUT that was aborted leaves it behind,
    // and a new PUT brings a new one.
    std::weak_ptr<bluetooth::InputStream> current;
    std::unique_ptr<ReceivedObject> object;
    std::int64_t received = 0;
    // A strict phone's object must be as long as it said.
    std::optional<std::int64_t> announcedLength;
};

}  // namespace flarecast::obex
