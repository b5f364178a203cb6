#pragma once

#include <filesystem>
#include <fstream>
#include <span>
#include <string>

namespace flarecast::obex {

// An object being received into a folder. Its bytes go to a hidden temporary file, which takes
// the object's name only when the whole object is in; destroyed before that, it leaves nothing
// behind. Failures are runtime errors.
class ReceivedObject {
public:
    // name must be a safe file name.
    ReceivedObject(std::filesystem::path folder, std::string name);
    ~ReceivedObject();
    ReceivedObject(const ReceivedObject&) = delete;
    ReceivedObject& operator=(const ReceivedObject&) = delete;

    void write(std::span<const std::uint8_t> bytes);
    // Gives the file its name, numbered when an earlier object has it; returns its path.
    std::filesystem::path commit();

private:
    const std::filesystem::path folder;
    const std::string name;
    const std::filesystem::path temporary;
    std::ofstream out;
    bool committed = false;
};

}  // namespace flarecast::obex
