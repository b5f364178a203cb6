#include "obex/phone/VirtualPhoneLauncher.h"

#include "obex/phone/VirtualPhone.h"

namespace flarecast::obex {

std::unique_ptr<bluetooth::HostedPhone> VirtualPhoneLauncher::start(
    const bluetooth::VirtualPhoneProfile& profile) {
    return std::make_unique<VirtualPhone>(profile);
}

}  // namespace flarecast::obex
