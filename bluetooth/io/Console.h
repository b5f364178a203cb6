#pragma once

#include <string_view>

namespace flarecast::bluetooth {

// Writes one diagnostic line to standard output in a single write and flushes it, so that lines
// from several threads never interleave.
void printLine(std::string_view line);

}  // namespace flarecast::bluetooth
