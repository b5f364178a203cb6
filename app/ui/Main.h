#pragma once

#include <memory>
#include <string>

namespace flarecast::ui {

class Mainwindow;

// The program's entry: shows the main window and prints the start-up lines.
class Main {
public:
    Main();
    ~Main();

    // Runs the program until the main window ends it; returns the process's exit status.
    int main(int argc, char** argv);

private:
    std::unique_ptr<Mainwindow> mainwindow;
    std::string homedir;
};

}  // namespace flarecast::ui
