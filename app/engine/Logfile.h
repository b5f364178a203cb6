#pragma once

#include <string>

namespace flarecast::engine {

// One row of the device table, as the engine hands it to the window.
struct Logfile {
    std::string bluetoothname;
    std::string bluetoothaddress;
    std::string datesent;
    bool sent = false;
};

}  // namespace flarecast::engine
