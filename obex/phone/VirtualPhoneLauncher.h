#pragma once

#include "bluetooth/native/neighbourhood/VirtualPhoneHost.h"

namespace flarecast::obex {

// Runs the virtual phones of a neighbourhood, each on a free port of 127.0.0.1.
class VirtualPhoneLauncher final : public bluetooth::VirtualPhoneHost {
public:
    std::unique_ptr<bluetooth::HostedPhone> start(
        const bluetooth::VirtualPhoneProfile& profile) override;
};

}  // namespace flarecast::obex
