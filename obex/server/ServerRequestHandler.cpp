#include "obex/server/ServerRequestHandler.h"

#include "bluetooth/io/Errors.h"

namespace flarecast::obex {

int ServerRequestHandler::onPut(Operation& /*operation*/) {
    throw bluetooth::RuntimeError("Not Implemented! Used to compile Code");
}

}  // namespace flarecast::obex
