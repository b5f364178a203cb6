#include "bluetooth/io/Console.h"

#include <cstdio>
#include <string>

namespace flarecast::bluetooth {

void printLine(std::string_view line) {
    std::string whole;
    whole.reserve(line.size() + 1);
    whole.append(line);
    whole.push_back('\n');
    // One stdio call holds the stream's lock for the whole line.
    std::fwrite(whole.data(), 1, whole.size(), stdout);
    std::fflush(stdout);
}

}  // namespace flarecast::bluetooth
