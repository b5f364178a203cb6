#pragma once

namespace flarecast::obex {

// OBEX response codes, final bit set. 0x90 (continue) has no name here.
struct ResponseCodes {
    static constexpr int OBEX_HTTP_OK = 0xA0;
    static constexpr int OBEX_HTTP_CREATED = 0xA1;
    static constexpr int OBEX_HTTP_ACCEPTED = 0xA2;
    static constexpr int OBEX_HTTP_NOT_AUTHORITATIVE = 0xA3;
    static constexpr int OBEX_HTTP_NO_CONTENT = 0xA4;
    static constexpr int OBEX_HTTP_RESET = 0xA5;
    static constexpr int OBEX_HTTP_PARTIAL = 0xA6;
    static constexpr int OBEX_HTTP_MULT_CHOICE = 0xB0;
    static constexpr int OBEX_HTTP_MOVED_PERM = 0xB1;
    static constexpr int OBEX_HTTP_MOVED_TEMP = 0xB2;
    static constexpr int OBEX_HTTP_SEE_OTHER = 0xB3;
    static constexpr int OBEX_HTTP_NOT_MODIFIED = 0xB4;
    static constexpr int OBEX_HTTP_USE_PROXY = 0xB5;
    static constexpr int OBEX_HTTP_BAD_REQUEST = 0xC0;
    static constexpr int OBEX_HTTP_UNAUTHORIZED = 0xC1;
    static constexpr int OBEX_HTTP_PAYMENT_REQUIRED = 0xC2;
    static constexpr int OBEX_HTTP_FORBIDDEN = 0xC3;
    static constexpr int OBEX_HTTP_NOT_FOUND = 0xC4;
    static constexpr int OBEX_HTTP_BAD_METHOD = 0xC5;
    static constexpr int OBEX_HTTP_NOT_ACCEPTABLE = 0xC6;
    static constexpr int OBEX_HTTP_PROXY_AUTH = 0xC7;
    static constexpr int OBEX_HTTP_TIMEOUT = 0xC8;
    static constexpr int OBEX_HTTP_CONFLICT = 0xC9;
    static constexpr int OBEX_HTTP_GONE = 0xCA;
    static constexpr int OBEX_HTTP_LENGTH_REQUIRED = 0xCB;
    static constexpr int OBEX_HTTP_PRECON_FAILED = 0xCC;
    static constexpr int OBEX_HTTP_ENTITY_TOO_LARGE = 0xCD;
    static constexpr int OBEX_HTTP_REQ_TOO_LARGE = 0xCE;
    static constexpr int OBEX_HTTP_UNSUPPORTED_TYPE = 0xCF;
    static constexpr int OBEX_HTTP_INTERNAL_ERROR = 0xD0;
    static constexpr int OBEX_HTTP_NOT_IMPLEMENTED = 0xD1;
    static constexpr int OBEX_HTTP_BAD_GATEWAY = 0xD2;
    static constexpr int OBEX_HTTP_UNAVAILABLE = 0xD3;
    static constexpr int OBEX_HTTP_GATEWAY_TIMEOUT = 0xD4;
    static constexpr int OBEX_HTTP_VERSION = 0xD5;
    static constexpr int OBEX_DATABASE_FULL = 0xE0;
    static constexpr int OBEX_DATABASE_LOCKED = 0xE1;

    ResponseCodes() = delete;
};

}  // namespace flarecast::obex
