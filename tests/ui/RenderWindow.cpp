// Renders the window after a pass among the demo's phones, for people to look at: the window as
// it opens, the window made larger, the About window, the history window over a campaign of some
// days and the rules form, as PNG files in the folder given.

#include <QAction>
#include <QApplication>
#include <QComboBox>
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
#include "app/campaign/History.h"
#include "app/ui/Mainwindow.h"
#include "app/ui/Paths.h"
#include "app/ui/RulesSettings.h"
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

// Nine days of a campaign before today, busier in the afternoons and at the weekend.
void seedHistory(const std::filesystem::path& file) {
    using namespace flarecast::campaign;
    using std::chrono::hours;
    History history(file);
    const QDate today = QDate::currentDate();
    int device = 0;
    for (int back = 9; back >= 1; --back) {
        const QDate date = today.addDays(-back);
        const int busy = date.dayOfWeek() >= 6 ? 2 : 1;
        for (int hour = 10; hour < 19; ++hour) {
            const int pushes = busy * (1 + (hour * 7 + back * 3) % 5);
            for (int push = 0; push < pushes; ++push, ++device) {
                const QDateTime when(date, QTime(hour, (push * 11) % 60));
                const Clock::time_point at{std::chrono::milliseconds(when.toMSecsSinceEpoch())};
                const std::string address =
                    QStringLiteral("0012345%1").arg(device, 5, 16, QLatin1Char('0')).toStdString();
                flarecast::engine::SeenDevice seen{address, "Phone", 0x5a020c};
                history.recordSeen(seen, at);
                history.recordOffering(address, at);
                PushRecord record;
                record.address = address;
                record.name = "Phone";
                record.time = at;
                record.outcome = device % 7 == 3   ? Outcome::Declined
                                 : device % 9 == 5 ? Outcome::RadioFailure
                                                   : Outcome::Sent;
                history.recordPush(record);
            }
        }
    }
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

    // A history of the render's own, with some days of a campaign in it.
    const QString history = files.filePath(QStringLiteral("history.sqlite"));
    qputenv("FLARECAST_HISTORY", history.toUtf8());
    seedHistory(flarecast::ui::toPath(history));

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

    // The history window, as it first opens, then over today's hours.
    controlOf<QAction>(window, "Jmenuitemhistory").trigger();
    QCoreApplication::processEvents();
    saved = save(window.historyWindow(), folder, "history.png") && saved;
    auto& span = controlOf<QComboBox>(window.historyWindow(), "Chartspan");
    span.setCurrentIndex(0);
    emit span.activated(0);
    QCoreApplication::processEvents();
    saved = save(window.historyWindow(), folder, "history-hours.png") && saved;
    window.historyWindow().close();

    controlOf<QPushButton>(window, "Stopbluetoothbtn").click();
    const bool stopped = QTest::qWaitFor(
        [&] { return controlOf<QPushButton>(window, "Startbluetoothbtn").isEnabled(); }, 300000);

    // The rules form with some rules on, once the pass, which ran under none, has stopped.
    flarecast::campaign::Rules rules;
    rules.repeat = true;
    rules.passPause = std::chrono::seconds(60);
    rules.declinedWindow = std::chrono::hours(72);
    rules.majorClasses = std::set<int>{flarecast::campaign::kMajorPhone};
    rules.block.addresses = {"001234560003"};
    rules.block.prefixes = {"00AABB"};
    rules.block.names = {"*Printer*"};
    rules.hours = flarecast::campaign::Hours{9, 20, {true, true, true, true, true, true, false}};
    {
        QSettings settings;
        flarecast::ui::saveRules(settings, rules);
    }
    controlOf<QAction>(window, "Jmenuitemrules").trigger();
    QCoreApplication::processEvents();
    saved = save(window.rules(), folder, "rules.png") && saved;
    window.rules().reject();
    return saved && stopped ? 0 : 1;
}
