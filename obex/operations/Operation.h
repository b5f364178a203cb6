#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "bluetooth/io/DataStreams.h"
#include "obex/headers/HeaderSetImpl.h"

namespace flarecast::obex {

// One PUT or GET exchange: its headers, its streams and its response code.
class Operation {
public:
    virtual ~Operation() = default;
    virtual std::shared_ptr<bluetooth::InputStream> openInputStream() = 0;
    virtual std::shared_ptr<bluetooth::DataInputStream> openDataInputStream() = 0;
    virtual std::shared_ptr<bluetooth::OutputStream> openOutputStream() = 0;
    virtual std::shared_ptr<bluetooth::DataOutputStream> openDataOutputStream() = 0;
    // They go out with the next packet, the final one included.
    virtual void sendHeaders(const HeaderSetImpl& headers) = 0;
    virtual HeaderSetImpl getReceivedHeaders() = 0;
    virtual int getResponseCode() const = 0;
    virtual std::optional<std::string> getType() const = 0;
    // -1 when the peer sent no LENGTH.
    virtual std::int64_t getLength() const = 0;
    virtual std::optional<std::string> getEncoding() const { return std::nullopt; }
    // Drops what the output stream still holds.
    virtual void abort() = 0;
    // Sends what the output stream still holds, in the final packet; the peer's answer is the
    // response code, a refusal too. A failed link is an I/O error.
    virtual void close() = 0;
};

}  // namespace flarecast::obex
