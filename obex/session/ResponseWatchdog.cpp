#include "obex/session/ResponseWatchdog.h"

namespace flarecast::obex {

ResponseWatchdog::ResponseWatchdog(std::function<void()> onExpiry)
    : timer(Deadlines::shared(), std::move(onExpiry)) {}

}  // namespace flarecast::obex
