#pragma once

#include <memory>

#include "bluetooth/io/DataStreams.h"
#include "bluetooth/io/Streams.h"

namespace flarecast::bluetooth {

// The connection shapes that Connector hands out.
class Connection {
public:
    virtual ~Connection() = default;
    virtual void close() = 0;
};

class InputConnection : public virtual Connection {
public:
    virtual std::shared_ptr<InputStream> openInputStream() = 0;
    virtual std::shared_ptr<DataInputStream> openDataInputStream() {
        return std::make_shared<DataInputStream>(openInputStream());
    }
};

class OutputConnection : public virtual Connection {
public:
    virtual std::shared_ptr<OutputStream> openOutputStream() = 0;
    virtual std::shared_ptr<DataOutputStream> openDataOutputStream() {
        return std::make_shared<DataOutputStream>(openOutputStream());
    }
};

class StreamConnection : public InputConnection, public OutputConnection {};

class StreamConnectionNotifier : public virtual Connection {
public:
    // Blocks until a client connects.
    virtual std::unique_ptr<StreamConnection> acceptAndOpen() = 0;
};

}  // namespace flarecast::bluetooth
