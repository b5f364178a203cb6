#pragma once

#include <cstdint>
#include <memory>

#include "bluetooth/native/neighbourhood/VirtualPhoneProfile.h"

namespace flarecast::bluetooth {

// A virtual phone that serves its channel while this object lives.
class HostedPhone {
public:
    virtual ~HostedPhone() = default;
    // The TCP port on 127.0.0.1 that connections to its channel lead to.
    virtual std::uint16_t port() const = 0;
};

// Starts the virtual phones of a neighbourhood. The OBEX layer implements it; this layer only
// asks for phones, so that it does not depend on the layer above.
class VirtualPhoneHost {
public:
    virtual ~VirtualPhoneHost() = default;
    // An I/O error when the phone cannot start.
    virtual std::unique_ptr<HostedPhone> start(const VirtualPhoneProfile& profile) = 0;
};

}  // namespace flarecast::bluetooth
