#include "app/ui/Main.h"

#include <QApplication>
#include <filesystem>
#include <system_error>

#include "app/ui/Mainwindow.h"
#include "bluetooth/io/Console.h"
#include "bluetooth/native/NativeStackFactory.h"
#include "obex/phone/VirtualPhoneLauncher.h"

namespace flarecast::ui {

Main::Main() = default;
Main::~Main() = default;

int Main::main(int argc, char** argv) {
    // Before anything chooses the native stack: the neighbourhood's phones run in this program.
    bluetooth::installVirtualPhoneHost(std::make_shared<obex::VirtualPhoneLauncher>());
    QApplication application(argc, argv);
    bluetooth::printLine("Test");
    mainwindow = std::make_unique<Mainwindow>();
    mainwindow->show();
    std::error_code error;
    homedir = std::filesystem::current_path(error).string();
    bluetooth::printLine(error ? error.message() : homedir);
    const int status = application.exec();
    mainwindow.reset();
    return status;
}

}  // namespace flarecast::ui
