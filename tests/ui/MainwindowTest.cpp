#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
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
    QTemporaryDir data;

private slots:
    // Two phones that take every object, for whole passes; nothing before touches the stack.
    void initTestCase() {
        // Settings go to a folder of the toolkit's tests, not the user's own.
        QStandardPaths::setTestModeEnabled(true);
        // The campaigns' history too, here and in the programs the tests start.
        QVERIFY(data.isValid());
        qputenv("XDG_DATA_HOME", data.path().toUtf8());
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
        // Each test starts from the settings of a first run.
        QSettings().clear();
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
        // The desktop's usual keys work too.
        QVERIFY(fileItems[0]->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_O)));
        QVERIFY(fileItems[1]->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_S)));
        QVERIFY(fileItems[3]->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Q)));
        const auto& campaignItems = control<QMenu>("Jmenucampaign").actions();
        QCOMPARE(campaignItems.size(), 2);
        QCOMPARE(campaignItems[0]->text(), QStringLiteral("Rules\u2026"));
        QCOMPARE(campaignItems[0]->objectName(), QStringLiteral("Jmenuitemrules"));
        QCOMPARE(campaignItems[1]->text(), QStringLiteral("History\u2026"));
        QCOMPARE(campaignItems[1]->objectName(), QStringLiteral("Jmenuitemhistory"));
        // Between File and Help.
        const auto& titles = control<QMenuBar>("jMenuBar1").actions();
        QCOMPARE(titles.size(), 3);
        QCOMPARE(titles[0]->menu(), &control<QMenu>("Jmenufile"));
        QCOMPARE(titles[1]->menu(), &control<QMenu>("Jmenucampaign"));
        QCOMPARE(titles[2]->menu(), &control<QMenu>("Jmenuhelp"));
        const auto& helpItems = control<QMenu>("Jmenuhelp").actions();
        QCOMPARE(helpItems.size(), 1);
        QCOMPARE(helpItems[0]->text(), QStringLiteral("About"));
        QVERIFY(helpItems[0]->shortcut().isEmpty());
    }

    void acceleratorsOpenTheFileDialog() {
        replies.fileToSend = {QStringLiteral("/tmp/offer.jpg"), QStringLiteral("/tmp/deal.png")};
        QTest::keyClick(window.get(), Qt::Key_O, Qt::AltModifier);
        QCOMPARE(filename(), QStringLiteral("offer.jpg"));
        QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(filename(), QStringLiteral("deal.png"));
    }

    // The table starts at its given size, grows with the window, fits what it holds and copies
    // the selected rows as the log's lines.
    void tableGrowsFitsAndCopiesSelectedRows() {
        auto& view = control<QTableView>("Logwindow");
        QCOMPARE(view.size(), QSize(412, 231));
        QCOMPARE(view.model()->columnCount(), 5);
        const QString longName = QStringLiteral("Margaret's phone with a long, long name");
        window->table().append({longName.toStdString(), "00123456789a",
                                "Thursday, 10 December 2026 at 02:00:00 Coordinated Universal Time",
                                true, "", "Sent"});
        for (int i = 0; i < 30; ++i) {
            window->table().append(
                {"phone", "00123456789b", "now", false, "", "Not reachable", "Cannot connect"});
        }
        QTRY_COMPARE(view.model()->rowCount(), 31);
        const auto* header = view.horizontalHeader();
        for (int column = 0; column + 1 < 5; ++column) {
            QVERIFY2(header->sectionSize(column) >=
                         static_cast<const QAbstractItemView&>(view).sizeHintForColumn(column),
                     qPrintable(QString::number(column)));
            QVERIFY(header->sectionSize(column) >= header->sectionSizeHint(column));
        }
        QVERIFY(view.verticalScrollBar()->isEnabled());

        const QSize opened = window->size();
        window->resize(900, 650);
        QTRY_COMPARE(view.size(), QSize(412, 231) + (QSize(900, 650) - opened));

        QTest::mouseClick(view.viewport(), Qt::LeftButton, {},
                          view.visualRect(view.model()->index(0, 0)).center());
        QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ShiftModifier,
                          view.visualRect(view.model()->index(1, 0)).center());
        QCOMPARE(view.selectionModel()->selectedRows().size(), 2);
        QApplication::clipboard()->clear();
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(),
                 QStringLiteral("\"Margaret's phone with a long, long name\",00123456789a,"
                                "\"Thursday, 10 December 2026 at 02:00:00 Coordinated Universal "
                                "Time\",true,Sent\n"
                                "phone,00123456789b,now,false,Not reachable\n"));
        // Nothing can be edited.
        QTest::mouseDClick(view.viewport(), Qt::LeftButton, {},
                           view.visualRect(view.model()->index(0, 0)).center());
        QVERIFY(view.findChildren<QLineEdit*>().isEmpty());
    }

    // Widths the operator gives the columns are there again in the next window.
    void columnWidthsAreRemembered() {
        control<QTableView>("Logwindow").horizontalHeader()->resizeSection(0, 333);
        window.reset();
        window = std::make_unique<Mainwindow>(std::make_unique<ScriptedDialogs>(replies));
        QCOMPARE(control<QTableView>("Logwindow").horizontalHeader()->sectionSize(0), 333);
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
        QTest::newRow("jpeg") << QStringList{"/a/Photo.JPEG"} << "Photo.JPEG"
                              << "/a/Photo.JPEG"
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

    void saveLogWritesTheTableAndSaysWhere() {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("log.csv"));
        window->table().append({"phone", "00123456789a", "now", true, "", "Sent"});
        QTRY_COMPARE(window->table().rowCount(), 1);
        replies.logFile = {QString(), path};
        trigger("Jmenuitemsavelog");
        QVERIFY(!QFile::exists(path));
        QCOMPARE(status(), QString());
        trigger("Jmenuitemsavelog");
        QCOMPARE(status(), QStringLiteral("Log Saved"));
        QCOMPARE(window->passStatus().currentMessage(), QStringLiteral("Log saved to ") + path);
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(),
                 QByteArray("BLUETOOTH NAME,BLUETOOTH ADDRESS,DATE/TIME,SENT,DETAIL\n"
                            "phone,00123456789a,now,true,Sent\n"));
    }

    void aNameWithoutCsvGetsIt_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("saved");
        QTest::newRow("bare") << "report"
                              << "report.csv";
        QTest::newRow("other extension") << "report.txt"
                                         << "report.txt.csv";
        QTest::newRow("trailing dot") << "report."
                                      << "report.csv";
        QTest::newRow("upper case kept") << "REPORT.CSV"
                                         << "REPORT.CSV";
    }

    void aNameWithoutCsvGetsIt() {
        QFETCH(QString, typed);
        QFETCH(QString, saved);
        QTemporaryDir folder;
        replies.logFile = {folder.filePath(typed)};
        trigger("Jmenuitemsavelog");
        QCOMPARE(status(), QStringLiteral("Log Saved"));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{saved});
    }

    // The reason reaches the operator in a message as well as on standard output.
    void aFailedSaveSaysWhyAndLeavesTheStatus() {
        replies.logFile = {QStringLiteral("/no/such/folder/log.csv")};
        trigger("Jmenuitemsavelog");
        QCOMPARE(status(), QString());
        QCOMPARE(replies.failures.size(), std::size_t{1});
        QCOMPARE(replies.failures.front().first, QStringLiteral("Save Log"));
        QVERIFY2(
            replies.failures.front().second.contains(QStringLiteral("/no/such/folder/log.csv")),
            qPrintable(replies.failures.front().second));
    }

    void aFailedSaveLeavesTheStatusAsItWas() {
        replies.fileToSend = {QStringLiteral("/a/movie.mp4")};
        trigger("Jmenuitemopen");
        replies.logFile = {QStringLiteral("/no/such/folder/log.csv")};
        trigger("Jmenuitemsavelog");
        QCOMPARE(status(), QStringLiteral("Invalid File Type"));
    }

    void aboutIsOneWindowAboveTheMainWindow() {
        About& about = window->about();
        QVERIFY(!about.isVisible());
        trigger("Jmenuabout");
        QVERIFY(about.isVisible());
        QCOMPARE(about.windowTitle(), QStringLiteral("About"));
        // Above its own program's window, not above every other program's.
        QCOMPARE(about.parentWidget(), window.get());
        QVERIFY(about.isWindow());
        QVERIFY(!about.windowIcon().isNull());
        QCOMPARE(about.jLabel1.text(), QStringLiteral("Flarecast 1.0 DEMO"));
        QCOMPARE(about.jLabel1.font().family(), QStringLiteral("Arial"));
        QCOMPARE(QFontInfo(about.jLabel1.font()).family(), QStringLiteral("Liberation Sans"));
        QCOMPARE(about.jLabel1.font().pointSize(), 36);
        QVERIFY(!about.jLabel1.font().bold() && !about.jLabel1.font().italic());
        QCOMPARE(about.jLabel1.palette().color(QPalette::WindowText), QColor(51, 51, 51));
        QVERIFY(!about.jLabel2.text().isEmpty());
        QCOMPARE(about.jLabel3.text(), QStringLiteral("Written by the Flarecast developers"));

        const auto aboutWindows = [] {
            int count = 0;
            for (QWidget* top : QApplication::topLevelWidgets()) {
                count += qobject_cast<About*>(top) != nullptr && top->isVisible() ? 1 : 0;
            }
            return count;
        };
        trigger("Jmenuabout");
        QCOMPARE(aboutWindows(), 1);
        about.Closebtn.click();
        QVERIFY(!about.isVisible());
        QVERIFY(window->isVisible());
        trigger("Jmenuabout");
        QVERIFY(about.isVisible());
        QVERIFY(QTest::qWaitForWindowActive(&about));
        QTest::keyClick(&about, Qt::Key_Escape);
        QVERIFY(!about.isVisible());
        trigger("Jmenuabout");
        QCOMPARE(about.jLabel1.text(), QStringLiteral("Flarecast 1.0 DEMO"));
        about.close();
    }

    // A file dropped on the window is taken by the same rule as one chosen in the dialog.
    void aDroppedFileIsChosenByTheSameRule() {
        const auto drop = [this](const QString& path) {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(path)});
            QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(window.get(), &enter);
            QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(window.get(), &dropped);
            return enter.isAccepted() && dropped.isAccepted();
        };
        QVERIFY(drop(QStringLiteral("/a/movie.mp4")));
        QCOMPARE(filename(), QString());
        QCOMPARE(status(), QStringLiteral("Invalid File Type"));
        QVERIFY(drop(QStringLiteral("/a/offer.jpeg")));
        QCOMPARE(filename(), QStringLiteral("offer.jpeg"));
        QCOMPARE(QString::fromStdString(window->chosenFile().string()),
                 QStringLiteral("/a/offer.jpeg"));
        QVERIFY(drop(QStringLiteral("/a/notes.doc")));
        QCOMPARE(filename(), QStringLiteral("offer.jpeg"));
        QTemporaryDir folder;
        const QString pictures = folder.filePath(QStringLiteral("pictures.jpg"));
        QVERIFY(QDir().mkpath(pictures));
        QVERIFY2(!drop(pictures), "a folder is not taken");
        QCOMPARE(filename(), QStringLiteral("offer.jpeg"));
    }

    // A picture shows itself beside its name, with its size; another file shows its size.
    void aChosenPictureShowsItsThumbnailAndSize() {
        QTemporaryDir folder;
        const QString picture = folder.filePath(QStringLiteral("offer.png"));
        QImage image(640, 320, QImage::Format_RGB32);
        image.fill(Qt::darkBlue);
        QVERIFY(image.save(picture));
        replies.fileToSend = {picture};
        trigger("Jmenuitemopen");
        const auto& thumbnail = control<QLabel>("Filethumbnail");
        QVERIFY(thumbnail.isVisible());
        QCOMPARE(thumbnail.pixmap().size(), QSize(48, 24));
        QVERIFY(control<QLabel>("Filesize").isVisible());
        QVERIFY(!control<QLabel>("Filesize").text().isEmpty());

        const QString text = folder.filePath(QStringLiteral("offer.txt"));
        QFile file(text);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(2048, 'x'));
        file.close();
        replies.fileToSend = {text};
        trigger("Jmenuitemopen");
        QCOMPARE(control<QLabel>("Filesize").text(), QLocale().formattedDataSize(2048));
        QVERIFY(!thumbnail.pixmap().isNull());
    }

    // Screen readers and tests find each control by the text the eye reads it by.
    void controlsCarryTheirVisibleNames() {
        QCOMPARE(control<QLineEdit>("Filename").accessibleName(), QStringLiteral("File"));
        QCOMPARE(control<QLineEdit>("Statusfield").accessibleName(), QStringLiteral("Status"));
        QCOMPARE(control<QTableView>("Logwindow").accessibleName(), QStringLiteral("Log"));
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
        QVERIFY(about.height() - about.jLabel3.geometry().bottom() - 1 >= 44);
        const int rightmost =
            std::max(about.jLabel1.geometry().right(), about.jLabel2.geometry().right());
        QCOMPARE(about.width() - rightmost - 1, 46);
        about.close();
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
            QCOMPARE(window->table().row(row).sent, true);
            QCOMPARE(window->table().data(window->table().index(row, 4)).toString(),
                     QStringLiteral("Sent"));
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
