#pragma once

#include <string>

namespace flarecast::engine {

// One row of the device table, as the engine hands it to the window.
struct Logfile {
    std::string bluetoothname;
    std::string bluetoothaddress;
    std::string datesent;
    bool sent = false;
    // The local adapter that served the device, when the program runs on several; else empty.
    std::string adapter{};
};

}  // namespace flarecast::engine
