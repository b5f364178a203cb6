#include "app/ui/Main.h"

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "app/ui/Mainwindow.h"
#include "bluetooth/io/Console.h"
#include "bluetooth/io/Environment.h"
#include "bluetooth/io/Utf8Path.h"
#include "bluetooth/native/NativeStackFactory.h"
#include "bluetooth/native/neighbourhood/NeighbourhoodFile.h"
#include "obex/phone/VirtualPhoneLauncher.h"

namespace flarecast::ui {

Main::Main() = default;
Main::~Main() = default;

int Main::main(int argc, char** argv) {
    // Before anything chooses the native stack: the neighbourhood's phones run in this program.
    bluetooth::installVirtualPhoneHost(std::make_shared<obex::VirtualPhoneLauncher>());
    QApplication application(argc, argv);
    // Where the toolkit keeps the window's settings, and how the desktop finds its entry.
    QApplication::setOrganizationName(QStringLiteral("Flarecast"));
    QApplication::setApplicationName(QStringLiteral("Flarecast"));
    QApplication::setDesktopFileName(QStringLiteral("flarecast"));
    bluetooth::printLine("Test");
    mainwindow = std::make_unique<Mainwindow>();
    mainwindow->show();
    std::error_code error;
    homedir = bluetooth::utf8Of(std::filesystem::current_path(error));
    bluetooth::printLine(error ? error.message() : homedir);
    if (bluetooth::environmentVariable("FLARECAST_NEIGHBOURHOOD") == "demo") {
        bluetooth::printLine("The demo phones save what they receive in " +
                             bluetooth::utf8Of(bluetooth::demoInbox()));
    }
    const int status = application.exec();
    mainwindow.reset();
    return status;
}

}  // namespace flarecast::ui
