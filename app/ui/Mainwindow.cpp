#include "app/ui/Mainwindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QHeaderView>
#include <QIcon>
#include <QStyle>
#include <cstdio>
#include <cstdlib>

#include "app/ui/FileFilter.h"
#include "app/ui/LogCsv.h"
#include "app/ui/Paths.h"
#include "app/ui/QtFileDialogs.h"
#include "bluetooth/io/Console.h"

namespace flarecast::ui {

Mainwindow::Mainwindow(std::unique_ptr<FileDialogs> fileDialogs, engine::Pacing pacing)
    : dialogs(std::move(fileDialogs)),
      pacing(pacing),
      mytable(this),
      pushjobs(pacing.pushSlots),
      Jmenufile(&jMenuBar1),
      Jmenuhelp(&jMenuBar1),
      Jmenuitemopen(this),
      Jmenuitemsavelog(this),
      Jmenuitemexit(this),
      Jmenuabout(this) {
    if (!dialogs) {
        dialogs = std::make_unique<QtFileDialogs>(this);
    }
    initComponents();
    // Cells cannot be selected or edited; the scroll bars stay usable.
    Logwindow.viewport()->setEnabled(false);
    setWindowIcon(QIcon(QStringLiteral(":/images/icon.gif")));
}

Mainwindow::~Mainwindow() {
    // Nothing of the engine may outlive the window: the pass ends early, the stopper that waits
    // for it follows, and then the push jobs are cancelled and joined before the table goes.
    if (bluetoothfunctions) {
        bluetoothfunctions->cancel();
    }
    stopbluetooththread.reset();
    bluetoothfunctions.reset();
    pushjobs.cancelAll();
}

void Mainwindow::initComponents() {
    setWindowTitle(QStringLiteral("Flarecast v1.0"));

    Startbluetoothbtn.setText(QStringLiteral("Start Bluetooth"));
    Stopbluetoothbtn.setText(QStringLiteral("Stop Bluetooth"));
    Stopbluetoothbtn.setEnabled(false);
    Statusfield.setReadOnly(true);
    Filename.setReadOnly(true);
    jLabel1.setText(QStringLiteral("Log"));
    jLabel2.setText(QStringLiteral("Status"));
    jLabel3.setText(QStringLiteral("File"));

    Logwindow.setModel(&mytable);
    Logwindow.setSelectionMode(QAbstractItemView::NoSelection);
    Logwindow.setEditTriggers(QAbstractItemView::NoEditTriggers);
    Logwindow.verticalHeader()->hide();
    Logwindow.setWordWrap(false);

    Jmenufile.setTitle(QStringLiteral("File"));
    Jmenuhelp.setTitle(QStringLiteral("Help"));
    Jmenuitemopen.setText(QStringLiteral("Select File To Send"));
    Jmenuitemopen.setShortcut(QKeySequence(Qt::ALT | Qt::Key_O));
    Jmenuitemsavelog.setText(QStringLiteral("Save Log"));
    Jmenuitemsavelog.setShortcut(QKeySequence(Qt::ALT | Qt::Key_S));
    Jmenuitemexit.setText(QStringLiteral("Exit"));
    Jmenuitemexit.setShortcut(QKeySequence(Qt::ALT | Qt::Key_E));
    Jmenuabout.setText(QStringLiteral("About"));
    Jmenufile.addAction(&Jmenuitemopen);
    Jmenufile.addAction(&Jmenuitemsavelog);
    Jmenufile.addSeparator()->setObjectName(QStringLiteral("jSeparator1"));
    Jmenufile.addAction(&Jmenuitemexit);
    Jmenuhelp.addAction(&Jmenuabout);
    jMenuBar1.addMenu(&Jmenufile);
    jMenuBar1.addMenu(&Jmenuhelp);
    setMenuBar(&jMenuBar1);

    connect(&Jmenuitemopen, &QAction::triggered, this, [this] { JmenuitemopenActionPerformed(); });
    connect(&Jmenuitemsavelog, &QAction::triggered, this,
            [this] { JmenuitemsavelogActionPerformed(); });
    connect(&Jmenuitemexit, &QAction::triggered, this, [this] { JmenuitemexitActionPerformed(); });
    connect(&Jmenuabout, &QAction::triggered, this, [this] { JmenuaboutActionPerformed(); });
    connect(&Startbluetoothbtn, &QPushButton::clicked, this,
            [this] { StartbluetoothbtnActionPerformed(); });
    connect(&Stopbluetoothbtn, &QPushButton::clicked, this,
            [this] { StopbluetoothbtnActionPerformed(); });

    for (auto [object, name] : std::initializer_list<std::pair<QObject*, const char*>>{
             {&Filename, "Filename"},
             {&Statusfield, "Statusfield"},
             {&Startbluetoothbtn, "Startbluetoothbtn"},
             {&Stopbluetoothbtn, "Stopbluetoothbtn"},
             {&Logwindow, "Logwindow"},
             {&jLabel1, "jLabel1"},
             {&jLabel2, "jLabel2"},
             {&jLabel3, "jLabel3"},
             {&jMenuBar1, "jMenuBar1"},
             {&Jmenufile, "Jmenufile"},
             {&Jmenuhelp, "Jmenuhelp"},
             {&Jmenuitemopen, "Jmenuitemopen"},
             {&Jmenuitemsavelog, "Jmenuitemsavelog"},
             {&Jmenuitemexit, "Jmenuitemexit"},
             {&Jmenuabout, "Jmenuabout"},
             {&mytable, "mytable"},
             {&aboutwindow, "aboutwindow"}}) {
        object->setObjectName(QString::fromLatin1(name));
    }

    layoutControls();
}

void Mainwindow::layoutControls() {
    const int relatedGap = style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing);
    const int containerGap = style()->pixelMetric(QStyle::PM_LayoutLeftMargin);

    buttonRow.setSpacing(relatedGap);
    buttonRow.addWidget(&Startbluetoothbtn);
    buttonRow.addWidget(&Stopbluetoothbtn);
    // The text fields take the width of the button row below them, not their own preference.
    Filename.setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    Statusfield.setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);

    form.setHorizontalSpacing(relatedGap);
    form.setVerticalSpacing(15);
    form.addWidget(&jLabel3, 0, 0, Qt::AlignRight | Qt::AlignVCenter);
    form.addWidget(&Filename, 0, 1);
    form.addWidget(&jLabel2, 1, 0, Qt::AlignRight | Qt::AlignVCenter);
    form.addWidget(&Statusfield, 1, 1);
    form.addLayout(&buttonRow, 2, 1);

    formRow.addSpacing(67);
    formRow.addLayout(&form);
    formRow.addStretch();
    formRow.addSpacing(containerGap);

    logLabelRow.addSpacing(198);
    logLabelRow.addWidget(&jLabel1);
    logLabelRow.addStretch();

    Logwindow.setFixedSize(412, 231);
    tableRow.addSpacing(containerGap);
    tableRow.addWidget(&Logwindow);
    tableRow.addStretch();
    tableRow.addSpacing(containerGap);

    rows.setContentsMargins(0, 0, 0, 0);
    rows.setSpacing(0);
    rows.addSpacing(22);
    rows.addLayout(&formRow);
    rows.addSpacing(18);
    rows.addLayout(&logLabelRow);
    rows.addSpacing(style()->pixelMetric(QStyle::PM_LayoutVerticalSpacing));
    rows.addLayout(&tableRow);
    rows.addSpacing(24);
    rows.addStretch();
    central.setLayout(&rows);
    setCentralWidget(&central);
    resize(sizeHint());
}

void Mainwindow::closeEvent(QCloseEvent* event) {
    event->accept();
    endProgram();
}

void Mainwindow::endProgram() {
    if (bluetoothfunctions || pushjobs.taken() > 0) {
        // Engine threads may be inside a pass or a push: the program ends at once, without
        // waiting for them.
        std::fflush(stdout);
        std::_Exit(0);
    }
    // Ends the event loop with status 0 whatever other windows are open.
    QCoreApplication::exit(0);
}

void Mainwindow::enableFileMenu(bool enabled) {
    // The accelerators go with the menu.
    Jmenufile.setEnabled(enabled);
    for (QAction* item : {&Jmenuitemopen, &Jmenuitemsavelog, &Jmenuitemexit}) {
        item->setEnabled(enabled);
    }
}

void Mainwindow::StartbluetoothbtnActionPerformed() {
    if (bluetoothfunctions) {
        return;
    }
    if (Filename.text().isEmpty()) {
        Statusfield.setText(QStringLiteral("No File Choosen"));
        return;
    }
    Statusfield.setText(QStringLiteral("Running"));
    bluetoothfunctions =
        std::make_unique<engine::Bluetoothfunctions>(chosenfile, mytable, pushjobs, pacing);
    bluetoothfunctions->running = true;
    bluetoothfunctions->start();
    Stopbluetoothbtn.setEnabled(true);
    Startbluetoothbtn.setEnabled(false);
    enableFileMenu(false);
}

void Mainwindow::StopbluetoothbtnActionPerformed() {
    Statusfield.setText(QStringLiteral("Stopping"));
    Stopbluetoothbtn.setEnabled(false);
    engine::Bluetoothfunctions* const worker = bluetoothfunctions.get();
    // The previous stopper has ended: Stop stays disabled until its work is done.
    stopbluetooththread = std::make_unique<bluetooth::OwnedThread>();
    stopbluetooththread->start([this, worker] {
        if (worker != nullptr) {
            worker->running = false;
            while (!worker->waitUntilStopped(pacing.poll)) {
            }
        }
        QMetaObject::invokeMethod(
            this, [this] { stopped(); }, Qt::QueuedConnection);
    });
}

void Mainwindow::stopped() {
    // Its pass has ended; its push jobs go on in their slots.
    bluetoothfunctions.reset();
    Startbluetoothbtn.setEnabled(true);
    enableFileMenu(true);
    Statusfield.setText(QStringLiteral("Stopped"));
}

void Mainwindow::JmenuitemopenActionPerformed() {
    const std::optional<QString> approved = dialogs->chooseFileToSend();
    if (!approved) {
        return;
    }
    const std::filesystem::path file = toPath(*approved);
    if (Videofilter::isSupportedType(file)) {
        chosenfile = file;
        Filename.setText(QString::fromStdU16String(file.filename().u16string()));
    }
    if (Filename.text().isEmpty()) {
        Statusfield.setText(QStringLiteral("Invalid File Type"));
    }
}

void Mainwindow::JmenuitemsavelogActionPerformed() {
    const std::optional<QString> approved = dialogs->chooseLogFile();
    if (!approved) {
        return;
    }
    if (const auto error = saveLog(*approved, mytable)) {
        bluetooth::printLine(error->toStdString());
        return;
    }
    Statusfield.setText(QStringLiteral("Log Saved"));
}

void Mainwindow::JmenuitemexitActionPerformed() {
    endProgram();
}

void Mainwindow::JmenuaboutActionPerformed() {
    aboutwindow.show();
    aboutwindow.raise();
    aboutwindow.activateWindow();
}

}  // namespace flarecast::ui
