// flarecast-cli: campaigns without a window, for kiosks and services.
#include "app/cli/Program.h"
#include "bluetooth/io/ProgramArguments.h"

int main(int argc, char** argv) {
    flarecast::bluetooth::ProgramArguments arguments(argc, argv);
    return flarecast::cli::runProgram(arguments.count(), arguments.values());
}
