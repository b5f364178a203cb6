#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "bluetooth/io/Errors.h"
#include "bluetooth/native/neighbourhood/Neighbourhood.h"

namespace flarecast::bluetooth {

// A neighbourhood file that cannot be used; the message names the file and the offending key.
class NeighbourhoodError : public Error {
    using Error::Error;
};

// Reads a neighbourhood file; source names it in error messages.
Neighbourhood parseNeighbourhood(std::string_view json, const std::string& source);
Neighbourhood loadNeighbourhoodFile(const std::string& path);

// The neighbourhood built into the program, for demonstrations; its phones save what they receive
// in folders under demoInbox().
Neighbourhood demoNeighbourhood();
std::filesystem::path demoInbox();

}  // namespace flarecast::bluetooth
