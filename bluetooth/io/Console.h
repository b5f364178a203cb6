#pragma once

#include <functional>
#include <string_view>

namespace flarecast::bluetooth {

// Writes one diagnostic line to standard output in a single write and flushes it, so that lines
// from several threads never interleave.
void printLine(std::string_view line);

// While it lives, printLine hands each line (without its line end) to writer instead, one line
// at a time: for a program whose standard output carries something else, or that draws on the
// terminal between the lines. One redirect at a time; writer must not call printLine.
class ConsoleRedirect {
public:
    explicit ConsoleRedirect(std::function<void(std::string_view line)> writer);
    ~ConsoleRedirect();
    ConsoleRedirect(const ConsoleRedirect&) = delete;
    ConsoleRedirect& operator=(const ConsoleRedirect&) = delete;
};

}  // namespace flarecast::bluetooth
