// flarecast-cli: campaigns without a window, for kiosks and services.
#include "app/cli/Program.h"

int main(int argc, char** argv) {
    return flarecast::cli::runProgram(argc, argv);
}
