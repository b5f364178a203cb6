#pragma once

namespace flarecast::cli {

// flarecast-cli from its command line to its exit status: 0 when it ran, 1 when the file, the
// history or the log cannot be used, 2 for options it does not take.
int runProgram(int argc, char** argv);

}  // namespace flarecast::cli
