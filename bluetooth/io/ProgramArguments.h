#pragma once

#include <string>
#include <vector>

namespace flarecast::bluetooth {

// The program's command line in UTF-8. On Windows, main's argv is in the system's narrow
// encoding, which loses what it cannot spell; the wide command line does not.
class ProgramArguments {
public:
    ProgramArguments(int argc, char** argv);
    ProgramArguments(const ProgramArguments&) = delete;
    ProgramArguments& operator=(const ProgramArguments&) = delete;

    int count() const { return static_cast<int>(texts.size()); }
    // argv's shape, valid while this lives.
    char** values() { return pointers.data(); }

private:
    std::vector<std::string> texts;
    std::vector<char*> pointers;
};

}  // namespace flarecast::bluetooth
