// Renders the window after a pass among the demo's phones, for people to look at: the window as
// it opens, the window made larger and the About window, as PNG files in the folder given.

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <memory>

#include "ScriptedDialogs.h"
#include "WindowControls.h"
#include "app/ui/Mainwindow.h"
#include "bluetooth/native/NativeStackFactory.h"
#include "obex/phone/VirtualPhoneLauncher.h"

namespace {

using flarecast::ui::controlOf;

// A picture such as a shop would send.
bool drawOffer(const QString& path) {
    QImage offer(800, 600, QImage::Format_RGB32);
    QPainter painter(&offer);
    QLinearGradient sky(0, 0, 0, 600);
    sky.setColorAt(0, QColor(0xff, 0xb3, 0x47));
    sky.setColorAt(1, QColor(0xd9, 0x3a, 0x2b));
    painter.fillRect(offer.rect(), sky);
    painter.setPen(Qt::white);
    painter.setFont(QFont(QStringLiteral("Liberation Sans"), 96, QFont::Bold));
    painter.drawText(offer.rect(), Qt::AlignCenter, QStringLiteral("-20%"));
    painter.end();
    return offer.save(path, "JPG");
}

bool save(QWidget& widget, const QDir& folder, const char* name) {
    const QString path = folder.filePath(QString::fromLatin1(name));
    if (!widget.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("FLARECAST_NEIGHBOURHOOD")) {
        qputenv("FLARECAST_NEIGHBOURHOOD", "demo");
    }
    flarecast::bluetooth::installVirtualPhoneHost(
        std::make_shared<flarecast::obex::VirtualPhoneLauncher>());
    QApplication application(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QSettings().clear();
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(folder.path())) {
        std::fprintf(stderr, "cannot make %s\n", argv[1]);
        return 1;
    }
    QTemporaryDir files;
    const QString offer = files.filePath(QStringLiteral("offer.jpg"));
    if (!drawOffer(offer)) {
        std::fprintf(stderr, "cannot write the offer\n");
        return 1;
    }

    flarecast::ui::ScriptedDialogs::Replies replies;
    replies.fileToSend = {offer};
    flarecast::engine::Pacing pacing;
    pacing.pushPause = std::chrono::milliseconds(0);
    flarecast::ui::Mainwindow window(std::make_unique<flarecast::ui::ScriptedDialogs>(replies),
                                     pacing);
    window.show();
    controlOf<QAction>(window, "Jmenuitemopen").trigger();
    controlOf<QPushButton>(window, "Startbluetoothbtn").click();
    const QLabel& phase = controlOf<QLabel>(window, "Passphase");
    if (!QTest::qWaitFor([&] { return phase.text().startsWith(QStringLiteral("Pass finished")); },
                         300000)) {
        std::fprintf(stderr, "the demo pass did not finish: %s\n", qPrintable(phase.text()));
        return 1;
    }
    // The labels' new texts are laid out before the picture is taken.
    QCoreApplication::processEvents();
    bool saved = save(window, folder, "main-window.png");
    window.resize(900, 650);
    QCoreApplication::processEvents();
    saved = save(window, folder, "main-window-resized.png") && saved;
    window.about().show();
    QCoreApplication::processEvents();
    saved = save(window.about(), folder, "about.png") && saved;
    window.about().close();
    controlOf<QPushButton>(window, "Stopbluetoothbtn").click();
    const bool stopped = QTest::qWaitFor(
        [&] { return controlOf<QPushButton>(window, "Startbluetoothbtn").isEnabled(); }, 300000);
    return saved && stopped ? 0 : 1;
}
