#pragma once

#include <memory>
#include <string>

#include "bluetooth/connections/Connection.h"

namespace flarecast::bluetooth {

// Opens connections by URL: btspp://ADDRESS:CHANNEL connects to a remote RFCOMM channel (a
// StreamConnection); btspp://localhost:UUID creates an RFCOMM server (a
// StreamConnectionNotifier).
class Connector {
public:
    static constexpr int READ = 1;
    static constexpr int WRITE = 2;
    static constexpr int READ_WRITE = 3;

    static std::unique_ptr<Connection> open(const std::string& name, int mode = READ_WRITE);
    // open, for a URL that must name a remote channel.
    static std::unique_ptr<StreamConnection> openStream(const std::string& name);
};

}  // namespace flarecast::bluetooth
