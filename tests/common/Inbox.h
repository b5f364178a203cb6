#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "obex/server/ServerRequestHandler.h"

namespace flarecast::testing {

// A server's handler that keeps every object pushed to it, with its name.
class Inbox : public obex::ServerRequestHandler {
public:
    std::mutex lock;
    std::vector<std::pair<std::string, obex::Bytes>> objects;

    int onPut(obex::Operation& operation) override {
        obex::Bytes object;
        const auto in = operation.openInputStream();
        std::uint8_t buffer[4096];
        for (int count; (count = in->read(buffer)) > 0;) {
            object.insert(object.end(), buffer, buffer + count);
        }
        const std::lock_guard guard(lock);
        objects.emplace_back(
            operation.getReceivedHeaders().get<std::string>(obex::HeaderSet::NAME).value_or(""),
            std::move(object));
        return obex::ResponseCodes::OBEX_HTTP_OK;
    }
};

}  // namespace flarecast::testing
