#include "app/ui/Main.h"

int main(int argc, char** argv) {
    flarecast::ui::Main program;
    return program.main(argc, argv);
}
