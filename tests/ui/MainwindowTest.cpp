#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "ScriptedDialogs.h"
#include "WindowControls.h"
#include "app/ui/Mainwindow.h"
#include "bluetooth/native/NativeStackFactory.h"
#include "obex/phone/VirtualPhoneLauncher.h"

namespace flarecast::ui {

class MainwindowTest : public QObject {
    Q_OBJECT

private:
    ScriptedDialogs::Replies replies;
    std::unique_ptr<Mainwindow> window;

    template <typename T>
    T& control(const char* name) {
        return controlOf<T>(*window, name);
    }

    QString status() { return control<QLineEdit>("Statusfield").text(); }
    QString filename() { return control<QLineEdit>("Filename").text(); }
    void trigger(const char* action) { control<QAction>(action).trigger(); }

    QTemporaryDir phones;

private slots:
    // Two phones that take every object, for whole passes; nothing before touches the stack.
    void initTestCase() {
        QVERIFY(phones.isValid());
        const QString file = phones.filePath(QStringLiteral("neighbourhood.json"));
        QFile json(file);
        QVERIFY(json.open(QIODevice::WriteOnly));
        const QByteArray inbox = phones.filePath(QStringLiteral("inbox")).toUtf8();
        json.write(R"({ "inquiry_ms": 20, "devices": [
            { "address": "001234560001", "name": "Ada's phone",
              "services": [ { "uuid": "1105", "channel": 9 } ],
              "rfcomm": { "9": { "save_to": ")" +
                   inbox + R"(" } } },
            { "address": "001234560002", "name": "Grace's tablet",
              "services": [ { "uuid": "1105", "channel": 9 } ],
              "rfcomm": { "9": { "save_to": ")" +
                   inbox + R"(" } } } ] })");
        json.close();
        qputenv("FLARECAST_NEIGHBOURHOOD", file.toUtf8());
        bluetooth::installVirtualPhoneHost(std::make_shared<obex::VirtualPhoneLauncher>());
    }

    void init() {
        replies = {};
        window = std::make_unique<Mainwindow>(std::make_unique<ScriptedDialogs>(replies));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    void cleanup() { window.reset(); }

    void startsIdleWithItsControls() {
        QCOMPARE(window->windowTitle(), QStringLiteral("Flarecast v1.0"));
        QVERIFY(!window->windowIcon().isNull());
        QCOMPARE(status(), QString());
        QCOMPARE(filename(), QString());
        QVERIFY(control<QLineEdit>("Statusfield").isReadOnly());
        QVERIFY(control<QLineEdit>("Filename").isReadOnly());
        QCOMPARE(control<QPushButton>("Startbluetoothbtn").text(),
                 QStringLiteral("Start Bluetooth"));
        QVERIFY(control<QPushButton>("Startbluetoothbtn").isEnabled());
        QCOMPARE(control<QPushButton>("Stopbluetoothbtn").text(), QStringLiteral("Stop Bluetooth"));
        QVERIFY(!control<QPushButton>("Stopbluetoothbtn").isEnabled());
        QCOMPARE(control<QLabel>("jLabel1").text(), QStringLiteral("Log"));
        QCOMPARE(control<QLabel>("jLabel2").text(), QStringLiteral("Status"));
        QCOMPARE(control<QLabel>("jLabel3").text(), QStringLiteral("File"));
        QVERIFY(control<QMenu>("Jmenufile").isEnabled());
        QVERIFY(control<QMenu>("Jmenuhelp").isEnabled());
    }

    void menusHoldTheirItemsAndAccelerators() {
        const auto& fileItems = control<QMenu>("Jmenufile").actions();
        QCOMPARE(fileItems.size(), 4);
        QCOMPARE(fileItems[0]->text(), QStringLiteral("Select File To Send"));
        QCOMPARE(fileItems[0]->shortcut(), QKeySequence(Qt::ALT | Qt::Key_O));
        QCOMPARE(fileItems[1]->text(), QStringLiteral("Save Log"));
        QCOMPARE(fileItems[1]->shortcut(), QKeySequence(Qt::ALT | Qt::Key_S));
        QVERIFY(fileItems[2]->isSeparator());
        QCOMPARE(fileItems[3]->text(), QStringLiteral("Exit"));
        QCOMPARE(fileItems[3]->shortcut(), QKeySequence(Qt::ALT | Qt::Key_E));
        const auto& helpItems = control<QMenu>("Jmenuhelp").actions();
        QCOMPARE(helpItems.size(), 1);
        QCOMPARE(helpItems[0]->text(), QStringLiteral("About"));
        QVERIFY(helpItems[0]->shortcut().isEmpty());
    }

    void acceleratorOpensTheFileDialog() {
        replies.fileToSend = {QStringLiteral("/tmp/offer.jpg")};
        QTest::keyClick(window.get(), Qt::Key_O, Qt::AltModifier);
        QCOMPARE(filename(), QStringLiteral("offer.jpg"));
    }

    void tableIsFixedInSizeAndCannotBeSelected() {
        auto& view = control<QTableView>("Logwindow");
        QCOMPARE(view.size(), QSize(412, 231));
        QCOMPARE(view.model()->columnCount(), 4);
        QVERIFY(!view.viewport()->isEnabled());
        QCOMPARE(view.selectionMode(), QAbstractItemView::NoSelection);
        for (int i = 0; i < 30; ++i) {
            window->table().append({"phone", "00123456789a", "now", i % 2 == 0});
        }
        QTRY_COMPARE(view.model()->rowCount(), 30);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(20, 20));
        QVERIFY(!view.selectionModel()->hasSelection());
        QVERIFY(view.verticalScrollBar()->isEnabled());
    }

    void layoutKeepsTheGivenGaps() {
        auto& fileLabel = control<QLabel>("jLabel3");
        auto& filenameField = control<QLineEdit>("Filename");
        auto& statusField = control<QLineEdit>("Statusfield");
        auto& start = control<QPushButton>("Startbluetoothbtn");
        auto& stop = control<QPushButton>("Stopbluetoothbtn");
        auto& logLabel = control<QLabel>("jLabel1");
        auto& view = control<QTableView>("Logwindow");
        QCOMPARE(filenameField.geometry().top(), 22);
        QCOMPARE(statusField.geometry().top() - filenameField.geometry().bottom() - 1, 15);
        QCOMPARE(start.geometry().top() - statusField.geometry().bottom() - 1, 15);
        QCOMPARE(logLabel.geometry().top() - start.geometry().bottom() - 1, 18);
        QCOMPARE(logLabel.geometry().left(), 198);
        QCOMPARE(filenameField.geometry().left(), statusField.geometry().left());
        QCOMPARE(filenameField.geometry().left(), start.geometry().left());
        QCOMPARE(filenameField.geometry().right(), stop.geometry().right());
        QVERIFY(fileLabel.geometry().left() >= 67);
        QCOMPARE(fileLabel.geometry().right(), control<QLabel>("jLabel2").geometry().right());
        QVERIFY(view.geometry().left() > 0);
        const int centralHeight = window->centralWidget()->height();
        QVERIFY(centralHeight - view.geometry().bottom() - 1 >= 24);
    }

    void choosingTheFileToSend_data() {
        QTest::addColumn<QStringList>("approved");
        QTest::addColumn<QString>("shownName");
        QTest::addColumn<QString>("chosenFile");
        QTest::addColumn<QString>("statusText");
        QTest::newRow("jpg in any folder") << QStringList{"/some/where/offer.jpg"} << "offer.jpg"
                                           << "/some/where/offer.jpg"
                                           << "";
        QTest::newRow("upper-case extensions")
            << QStringList{"/a/clip.3GP", "/a/card.Vcf", "/a/notes.TXT"} << "notes.TXT"
            << "/a/notes.TXT"
            << "";
        QTest::newRow("unsupported first") << QStringList{"/a/movie.mp4"} << ""
                                           << ""
                                           << "Invalid File Type";
        QTest::newRow("no extension") << QStringList{"/a/README", "/a/.vcf", "/a/image."} << ""
                                      << ""
                                      << "Invalid File Type";
        QTest::newRow("unsupported after a valid one")
            << QStringList{"/a/offer.png", "/a/movie.mp4"} << "offer.png"
            << "/a/offer.png"
            << "";
        QTest::newRow("cancelled") << QStringList{""} << ""
                                   << ""
                                   << "";
    }

    void choosingTheFileToSend() {
        QFETCH(QStringList, approved);
        QFETCH(QString, shownName);
        QFETCH(QString, chosenFile);
        QFETCH(QString, statusText);
        for (const auto& file : approved) {
            replies.fileToSend.push_back(file);
            trigger("Jmenuitemopen");
        }
        QCOMPARE(filename(), shownName);
        QCOMPARE(QString::fromStdString(window->chosenFile().string()), chosenFile);
        QCOMPARE(status(), statusText);
    }

    void aValidChoiceKeepsTheStatusText() {
        replies.fileToSend = {QStringLiteral("/a/movie.mp4"), QStringLiteral("/a/card.vcf")};
        trigger("Jmenuitemopen");
        trigger("Jmenuitemopen");
        QCOMPARE(filename(), QStringLiteral("card.vcf"));
        QCOMPARE(status(), QStringLiteral("Invalid File Type"));
    }

    void saveLogWritesTheTableAndReportsIt() {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("log.csv"));
        window->table().append({"phone", "00123456789a", "now", true});
        QTRY_COMPARE(window->table().rowCount(), 1);
        replies.logFile = {QString(), path};
        trigger("Jmenuitemsavelog");
        QVERIFY(!QFile::exists(path));
        QCOMPARE(status(), QString());
        trigger("Jmenuitemsavelog");
        QCOMPARE(status(), QStringLiteral("Log Saved"));
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray("BLUETOOTH NAME,BLUETOOTH ADDRESS,DATE/TIME,SENT\n"
                                             "phone,00123456789a,now,true\n"));
    }

    void aFailedSaveLeavesTheStatusAsItWas() {
        replies.fileToSend = {QStringLiteral("/a/movie.mp4")};
        trigger("Jmenuitemopen");
        replies.logFile = {QStringLiteral("/no/such/folder/log.csv")};
        trigger("Jmenuitemsavelog");
        QCOMPARE(status(), QStringLiteral("Invalid File Type"));
    }

    void aboutIsOneStayOnTopWindow() {
        About& about = window->about();
        QVERIFY(!about.isVisible());
        trigger("Jmenuabout");
        QVERIFY(about.isVisible());
        QCOMPARE(about.windowTitle(), QStringLiteral("About"));
        QVERIFY(about.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(!about.windowIcon().isNull());
        QCOMPARE(about.jLabel1.text(), QStringLiteral("Flarecast 1.0 DEMO"));
        QCOMPARE(about.jLabel1.font().family(), QStringLiteral("Arial"));
        QCOMPARE(about.jLabel1.font().pointSize(), 36);
        QVERIFY(!about.jLabel1.font().bold() && !about.jLabel1.font().italic());
        QCOMPARE(about.jLabel1.palette().color(QPalette::WindowText), QColor(51, 51, 51));
        QVERIFY(!about.jLabel2.text().isEmpty());
        QVERIFY(!about.jLabel3.text().isEmpty());

        const auto aboutWindows = [] {
            int count = 0;
            for (QWidget* top : QApplication::topLevelWidgets()) {
                count += qobject_cast<About*>(top) != nullptr && top->isVisible() ? 1 : 0;
            }
            return count;
        };
        trigger("Jmenuabout");
        QCOMPARE(aboutWindows(), 1);
        about.close();
        QVERIFY(!about.isVisible());
        QVERIFY(window->isVisible());
        trigger("Jmenuabout");
        QVERIFY(about.isVisible());
        QCOMPARE(about.jLabel1.text(), QStringLiteral("Flarecast 1.0 DEMO"));
        about.close();
    }

    void aboutKeepsItsLayoutGaps() {
        About& about = window->about();
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QCOMPARE(about.jLabel1.geometry().left(), 49);
        QCOMPARE(std::min(about.jLabel2.geometry().left(), about.jLabel3.geometry().left()), 152);
        QCOMPARE(about.jLabel2.geometry().right(), about.jLabel3.geometry().right());
        QCOMPARE(about.jLabel2.geometry().top() - about.jLabel1.geometry().bottom() - 1, 18);
        QCOMPARE(about.jLabel3.geometry().top() - about.jLabel2.geometry().bottom() - 1, 16);
        QCOMPARE(about.height() - about.jLabel3.geometry().bottom() - 1, 44);
        const int rightmost =
            std::max(about.jLabel1.geometry().right(), about.jLabel2.geometry().right());
        QCOMPARE(about.width() - rightmost - 1, 46);
        about.close();
    }

    void rendersBothWindowsForPeopleToLookAt() {
        QVERIFY(QDir().mkpath(QStringLiteral(FLARECAST_RENDER_DIR)));
        window->table().append({"Ada's phone", "00123456789a", "Thursday 10 December 2026", true});
        window->table().append(
            {"Grace, the tablet", "00123456789b", "Thursday 10 December 2026", false});
        QTRY_COMPARE(window->table().rowCount(), 2);
        QVERIFY(window->grab().save(QStringLiteral(FLARECAST_RENDER_DIR "/main-window.png")));
        window->about().show();
        QVERIFY(window->about().grab().save(QStringLiteral(FLARECAST_RENDER_DIR "/about.png")));
        window->about().close();
    }

    void startWithoutAFileSaysSo() {
        control<QPushButton>("Startbluetoothbtn").click();
        QCOMPARE(status(), QStringLiteral("No File Choosen"));
        QVERIFY(control<QPushButton>("Startbluetoothbtn").isEnabled());
        QVERIFY(!control<QPushButton>("Stopbluetoothbtn").isEnabled());
    }

    void aPassFillsTheTableAndStopReturnsToIdle() {
        const engine::Pacing quick{std::chrono::milliseconds(1), std::chrono::milliseconds(1),
                                   std::chrono::milliseconds(1), std::chrono::milliseconds(1), 5};
        window = std::make_unique<Mainwindow>(std::make_unique<ScriptedDialogs>(replies), quick);
        window->show();
        QTemporaryDir folder;
        const QString offer = folder.filePath(QStringLiteral("offer.txt"));
        QFile file(offer);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("An offer");
        file.close();
        replies.fileToSend = {offer};
        trigger("Jmenuitemopen");
        for (int pass = 1; pass <= 2; ++pass) {
            control<QPushButton>("Startbluetoothbtn").click();
            QCOMPARE(status(), QStringLiteral("Running"));
            QVERIFY(!control<QPushButton>("Startbluetoothbtn").isEnabled());
            QVERIFY(control<QPushButton>("Stopbluetoothbtn").isEnabled());
            QVERIFY(!control<QMenu>("Jmenufile").isEnabled());
            QVERIFY(!control<QAction>("Jmenuitemexit").isEnabled());
            QVERIFY(control<QMenu>("Jmenuhelp").isEnabled());
            // A new worker forgets the phones of the last one: each pass serves both again.
            QTRY_COMPARE_WITH_TIMEOUT(window->table().rowCount(), 2 * pass, 20000);
            QCOMPARE(status(), QStringLiteral("Running"));
            control<QPushButton>("Stopbluetoothbtn").click();
            QCOMPARE(status(), QStringLiteral("Stopping"));
            QVERIFY(!control<QPushButton>("Stopbluetoothbtn").isEnabled());
            QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Stopped"), 20000);
            QVERIFY(control<QPushButton>("Startbluetoothbtn").isEnabled());
            QVERIFY(control<QMenu>("Jmenufile").isEnabled());
        }
        for (int row = 0; row < window->table().rowCount(); ++row) {
            QCOMPARE(window->table().data(window->table().index(row, 3)).toString(),
                     QStringLiteral("true"));
        }
        const QString log = folder.filePath(QStringLiteral("log.csv"));
        replies.logFile = {log};
        trigger("Jmenuitemsavelog");
        QCOMPARE(status(), QStringLiteral("Log Saved"));
        QFile saved(log);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll().count('\n'), 5);
    }

    void closingTheWindowEndsTheProgramWithStatusZero() {
        window->about().show();
        QTimer::singleShot(0, window.get(), [this] { window->close(); });
        QCOMPARE(QCoreApplication::exec(), 0);
    }

    void exitEndsTheProgramWithStatusZero() {
        QTimer::singleShot(0, window.get(), [this] { trigger("Jmenuitemexit"); });
        QCOMPARE(QCoreApplication::exec(), 0);
    }

    void programPrintsItsStartLines() {
        QTemporaryDir folder;
        QProcess program;
        program.setWorkingDirectory(folder.path());
        program.start(QStringLiteral(FLARECAST_PROGRAM), {});
        QVERIFY(program.waitForStarted());
        QByteArray printed;
        while (printed.count('\n') < 2 && program.waitForReadyRead(10000)) {
            printed += program.readAllStandardOutput();
        }
        program.kill();
        program.waitForFinished();
        QCOMPARE(printed, "Test\n" + QDir(folder.path()).canonicalPath().toUtf8() + "\n");
    }
};

}  // namespace flarecast::ui

QTEST_MAIN(flarecast::ui::MainwindowTest)
#include "MainwindowTest.moc"
