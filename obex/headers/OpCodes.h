#pragma once

namespace flarecast::obex {

// Request operation codes; the high bit marks the final packet of a request.
struct OpCode {
    static constexpr int FINAL = 0x80;
    static constexpr int CONNECT = 0x80;
    static constexpr int DISCONNECT = 0x81;
    static constexpr int PUT = 0x02;
    static constexpr int GET = 0x03;
    static constexpr int SETPATH = 0x85;
    static constexpr int ABORT = 0xFF;
    // The response that asks for the next packet; it has no name among the response codes.
    static constexpr int CONTINUE = 0x90;

    OpCode() = delete;
};

}  // namespace flarecast::obex
