// Start and Stop of the window among phones whose owners never answer while the test runs, so
// that pushes stay in flight for as long as the test needs.

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <memory>

#include "ScriptedDialogs.h"
#include "WindowControls.h"
#include "app/ui/Mainwindow.h"
#include "bluetooth/native/NativeStackFactory.h"
#include "obex/phone/VirtualPhoneLauncher.h"

namespace flarecast::ui {

class StartStopTest : public QObject {
    Q_OBJECT

private:
    ScriptedDialogs::Replies replies;
    std::unique_ptr<Mainwindow> window;
    QTemporaryDir folder;

    template <typename T>
    T& control(const char* name) {
        return controlOf<T>(*window, name);
    }
    QString status() { return control<QLineEdit>("Statusfield").text(); }

    void pass() {
        control<QPushButton>("Startbluetoothbtn").click();
        QCOMPARE(status(), QStringLiteral("Running"));
        control<QPushButton>("Stopbluetoothbtn").click();
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Stopped"), 60000);
    }

private slots:
    void initTestCase() {
        QVERIFY(folder.isValid());
        const QString file = folder.filePath(QStringLiteral("neighbourhood.json"));
        QFile json(file);
        QVERIFY(json.open(QIODevice::WriteOnly));
        // Three phones whose owners take ten minutes to answer.
        QStringList devices;
        for (const char* address : {"001234560011", "001234560012", "001234560013"}) {
            devices
                << QStringLiteral(
                       "{ \"address\": \"%1\", \"name\": \"Phone\", \"services\": [ { \"uuid\": "
                       "\"1105\", \"channel\": 9 } ], \"rfcomm\": { \"9\": { "
                       "\"prompt_delay_ms\": 600000 } } }")
                       .arg(QLatin1String(address));
        }
        json.write(QStringLiteral("{ \"inquiry_ms\": 20, \"devices\": [ %1 ] }")
                       .arg(devices.join(QLatin1Char(',')))
                       .toUtf8());
        json.close();
        qputenv("FLARECAST_NEIGHBOURHOOD", file.toUtf8());
        bluetooth::installVirtualPhoneHost(std::make_shared<obex::VirtualPhoneLauncher>());
        QFile offer(folder.filePath(QStringLiteral("offer.txt")));
        QVERIFY(offer.open(QIODevice::WriteOnly));
        offer.write("An offer");
    }

    void init() {
        replies = {};
        engine::Pacing quick;
        quick.poll = quick.pushPause = quick.slotPoll = quick.endPause =
            std::chrono::milliseconds(1);
        window = std::make_unique<Mainwindow>(std::make_unique<ScriptedDialogs>(replies), quick);
        replies.fileToSend = {folder.filePath(QStringLiteral("offer.txt"))};
        window->findChild<QAction*>(QStringLiteral("Jmenuitemopen"))->trigger();
    }

    void cleanup() { window.reset(); }

    // Pushes of an earlier pass keep their slots after its Stop: the next pass may take only
    // what is left of the five.
    void theLimitOfFivePushesHoldsAcrossStopAndStart() {
        pass();
        QTRY_COMPARE(window->pushJobs().taken(), std::size_t{3});
        control<QPushButton>("Startbluetoothbtn").click();
        QTRY_COMPARE(window->pushJobs().taken(), std::size_t{5});
        QTRY_COMPARE(window->pushJobs().waiting(), std::size_t{1});
        QCOMPARE(window->pushJobs().taken(), std::size_t{5});
    }

    // The window goes while pushes wait for their phones' owners: it takes them down with it at
    // once, before its table, instead of waiting out the OBEX time limit.
    void aWindowThatGoesEndsItsPushesFirst() {
        pass();
        QTRY_COMPARE(window->pushJobs().taken(), std::size_t{3});
        const auto began = std::chrono::steady_clock::now();
        window.reset();
        QVERIFY(std::chrono::steady_clock::now() - began < std::chrono::seconds(60));
    }
};

}  // namespace flarecast::ui

QTEST_MAIN(flarecast::ui::StartStopTest)
#include "StartStopTest.moc"
