#include "app/ui/Mainwindow.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QSettings>
#include <QStyle>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "app/ui/FileFilter.h"
#include "app/ui/FilePreview.h"
#include "app/ui/LogCsv.h"
#include "app/ui/Paths.h"
#include "app/ui/QtFileDialogs.h"
#include "app/ui/RulesSettings.h"
#include "bluetooth/io/Console.h"

namespace flarecast::ui {

namespace {

const QString kTitle = QStringLiteral("Flarecast v1.0");
const QString kColumnWidthsKey = QStringLiteral("table/columns");
constexpr QSize kThumbnailBound(48, 48);

// The one local file being dragged, if that is what the drag holds; a folder is not a file to
// send, whatever its name.
std::optional<std::filesystem::path> droppedFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls() || data->urls().size() != 1 ||
        !data->urls().front().isLocalFile()) {
        return std::nullopt;
    }
    const std::filesystem::path file = toPath(data->urls().front().toLocalFile());
    std::error_code ignored;
    if (std::filesystem::is_directory(file, ignored)) {
        return std::nullopt;
    }
    return file;
}

// The history named by FLARECAST_HISTORY, else the user's own; none when it cannot be opened, and
// then problem says why, as the one line printed.
std::unique_ptr<campaign::History> openHistory(QString& problem) {
    const QString named = qEnvironmentVariable("FLARECAST_HISTORY");
    try {
        return std::make_unique<campaign::History>(
            named.isEmpty() ? campaign::History::defaultPath() : toPath(named));
    } catch (const std::exception& error) {
        bluetooth::printLine(error.what());
        problem = QString::fromStdString(error.what());
        return nullptr;
    }
}

}  // namespace

Mainwindow::Mainwindow(std::unique_ptr<FileDialogs> fileDialogs, engine::Pacing pacing)
    : dialogs(std::move(fileDialogs)),
      pacing(pacing),
      aboutwindow(this),
      history(openHistory(historyProblem)),
      rulesdialog(this),
      historywindow(history.get(), historyProblem, this),
      mytable(this),
      pushjobs(pacing.pushSlots),
      Jmenufile(&jMenuBar1),
      Jmenucampaign(&jMenuBar1),
      Jmenuhelp(&jMenuBar1),
      Jmenuitemopen(this),
      Jmenuitemsavelog(this),
      Jmenuitemexit(this),
      Jmenuitemrules(this),
      Jmenuitemhistory(this),
      Jmenuabout(this),
      Copyrows(this) {
    if (!dialogs) {
        dialogs = std::make_unique<QtFileDialogs>(this);
    }
    initComponents();
    setWindowIcon(QIcon(QStringLiteral(":/images/icon.gif")));
    setAcceptDrops(true);
}

Mainwindow::~Mainwindow() {
    rememberColumnWidths();
    // The table's parts are taken down one by one below; none may call back into a half-gone
    // window meanwhile.
    Logwindow.viewport()->removeEventFilter(this);
    Logwindow.horizontalHeader()->disconnect(this);
    mytable.disconnect(this);
    // Nothing of the engine may outlive the window: the campaign ends early and is waited for,
    // its pushes cancelled meanwhile, so that it starts no push after the jobs are cancelled;
    // the stopper, which waits for both, follows, and the jobs are joined before the table and
    // the status bar go.
    if (mycampaign) {
        mycampaign->stop();
        do {
            pushjobs.cancelAll();
        } while (!mycampaign->waitUntilEnded(pacing.poll));
    }
    pushjobs.cancelAll();
    stopbluetooththread.reset();
    mycampaign.reset();
    pushjobs.cancelAll();
}

void Mainwindow::initComponents() {
    setWindowTitle(kTitle);

    Startbluetoothbtn.setText(QStringLiteral("Start Bluetooth"));
    Stopbluetoothbtn.setText(QStringLiteral("Stop Bluetooth"));
    Stopbluetoothbtn.setEnabled(false);
    Statusfield.setReadOnly(true);
    Filename.setReadOnly(true);
    jLabel1.setText(QStringLiteral("Log"));
    jLabel2.setText(QStringLiteral("Status"));
    jLabel3.setText(QStringLiteral("File"));

    // Names for screen readers and for tests, from the labels the eye reads them by.
    Filename.setAccessibleName(QStringLiteral("File"));
    Statusfield.setAccessibleName(QStringLiteral("Status"));
    Logwindow.setAccessibleName(QStringLiteral("Log"));
    jLabel3.setBuddy(&Filename);
    jLabel2.setBuddy(&Statusfield);
    jLabel1.setBuddy(&Logwindow);
    Filethumbnail.setAccessibleName(QStringLiteral("Picture to send"));
    Filethumbnail.hide();
    Filesize.hide();

    initTable();

    Jmenufile.setTitle(QStringLiteral("File"));
    Jmenuhelp.setTitle(QStringLiteral("Help"));
    Jmenuitemopen.setText(QStringLiteral("Select File To Send"));
    // The desktop's usual keys work alongside the program's own, which the menu shows.
    Jmenuitemopen.setShortcuts(
        {QKeySequence(Qt::ALT | Qt::Key_O), QKeySequence(Qt::CTRL | Qt::Key_O)});
    Jmenuitemsavelog.setText(QStringLiteral("Save Log"));
    Jmenuitemsavelog.setShortcuts(
        {QKeySequence(Qt::ALT | Qt::Key_S), QKeySequence(Qt::CTRL | Qt::Key_S)});
    Jmenuitemexit.setText(QStringLiteral("Exit"));
    Jmenuitemexit.setShortcuts(
        {QKeySequence(Qt::ALT | Qt::Key_E), QKeySequence(Qt::CTRL | Qt::Key_Q)});
    Jmenuabout.setText(QStringLiteral("About"));
    Jmenucampaign.setTitle(QStringLiteral("Campaign"));
    Jmenuitemrules.setText(QStringLiteral("Rules\u2026"));
    Jmenuitemhistory.setText(QStringLiteral("History\u2026"));
    Jmenucampaign.addAction(&Jmenuitemrules);
    Jmenucampaign.addAction(&Jmenuitemhistory);
    Jmenufile.addAction(&Jmenuitemopen);
    Jmenufile.addAction(&Jmenuitemsavelog);
    Jmenufile.addSeparator()->setObjectName(QStringLiteral("jSeparator1"));
    Jmenufile.addAction(&Jmenuitemexit);
    Jmenuhelp.addAction(&Jmenuabout);
    jMenuBar1.addMenu(&Jmenufile);
    jMenuBar1.addMenu(&Jmenucampaign);
    jMenuBar1.addMenu(&Jmenuhelp);
    setMenuBar(&jMenuBar1);
    setStatusBar(&passstatus);
    // Only campaigns that repeat have more than one pass to tell apart.
    passstatus.addPermanentWidget(&Passnumber);
    Passnumber.hide();
    connect(&passstatus, &PassStatusBar::passFinished, this, [this](int sent, int notSent) {
        setWindowTitle(kTitle + QStringLiteral(" \u2014 ") + passFinishedText(sent, notSent));
        historywindow.passEnded();
    });

    connect(&Jmenuitemopen, &QAction::triggered, this, [this] { JmenuitemopenActionPerformed(); });
    connect(&Jmenuitemsavelog, &QAction::triggered, this,
            [this] { JmenuitemsavelogActionPerformed(); });
    connect(&Jmenuitemexit, &QAction::triggered, this, [this] { JmenuitemexitActionPerformed(); });
    connect(&Jmenuabout, &QAction::triggered, this, [this] { JmenuaboutActionPerformed(); });
    connect(&Jmenuitemrules, &QAction::triggered, this,
            [this] { JmenuitemrulesActionPerformed(); });
    connect(&Jmenuitemhistory, &QAction::triggered, this,
            [this] { JmenuitemhistoryActionPerformed(); });
    connect(&Startbluetoothbtn, &QPushButton::clicked, this,
            [this] { StartbluetoothbtnActionPerformed(); });
    connect(&Stopbluetoothbtn, &QPushButton::clicked, this,
            [this] { StopbluetoothbtnActionPerformed(); });

    for (auto [object, name] : std::initializer_list<std::pair<QObject*, const char*>>{
             {&Filename, "Filename"},
             {&Filethumbnail, "Filethumbnail"},
             {&Filesize, "Filesize"},
             {&Copyrows, "Copyrows"},
             {&Passnumber, "Passnumber"},
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
             {&Jmenucampaign, "Jmenucampaign"},
             {&Jmenuitemrules, "Jmenuitemrules"},
             {&Jmenuitemhistory, "Jmenuitemhistory"},
             {&Jmenuitemopen, "Jmenuitemopen"},
             {&Jmenuitemsavelog, "Jmenuitemsavelog"},
             {&Jmenuitemexit, "Jmenuitemexit"},
             {&Jmenuabout, "Jmenuabout"},
             {&mytable, "mytable"},
             {&aboutwindow, "aboutwindow"},
             {&rulesdialog, "rulesdialog"},
             {&historywindow, "historywindow"}}) {
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

    previewColumn.setSpacing(4);
    previewColumn.addWidget(&Filethumbnail, 0, Qt::AlignLeft | Qt::AlignTop);
    previewColumn.addWidget(&Filesize, 0, Qt::AlignLeft | Qt::AlignTop);
    previewColumn.addStretch();

    formRow.addSpacing(67);
    formRow.addLayout(&form);
    formRow.addSpacing(relatedGap);
    formRow.addLayout(&previewColumn);
    formRow.addStretch();
    formRow.addSpacing(containerGap);

    logLabelRow.addSpacing(198);
    logLabelRow.addWidget(&jLabel1);
    logLabelRow.addStretch();

    // The table starts at its given size and grows with the window.
    Logwindow.setMinimumSize(412, 231);
    Logwindow.setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    tableRow.addSpacing(containerGap);
    tableRow.addWidget(&Logwindow, 1);
    tableRow.addSpacing(containerGap);

    rows.setContentsMargins(0, 0, 0, 0);
    rows.setSpacing(0);
    rows.addSpacing(22);
    rows.addLayout(&formRow);
    rows.addSpacing(18);
    rows.addLayout(&logLabelRow);
    rows.addSpacing(style()->pixelMetric(QStyle::PM_LayoutVerticalSpacing));
    rows.addLayout(&tableRow, 1);
    rows.addSpacing(24);
    central.setLayout(&rows);
    setCentralWidget(&central);
    resize(sizeHint());
}

void Mainwindow::initTable() {
    Logwindow.setModel(&mytable);
    Logwindow.setSelectionBehavior(QAbstractItemView::SelectRows);
    Logwindow.setSelectionMode(QAbstractItemView::ExtendedSelection);
    Logwindow.setEditTriggers(QAbstractItemView::NoEditTriggers);
    Logwindow.verticalHeader()->hide();
    Logwindow.setWordWrap(false);
    Logwindow.setTextElideMode(Qt::ElideMiddle);
    QHeaderView& header = *Logwindow.horizontalHeader();
    header.setSectionResizeMode(QHeaderView::Interactive);
    // The last column fills what is left, but never less than its cells need: fitColumns does
    // what stretching the last section would, without cutting the detail short.
    header.setStretchLastSection(false);
    Logwindow.viewport()->installEventFilter(this);
    header.setMinimumSectionSize(std::max(header.minimumSectionSize(), 40));
    Logwindow.resizeColumnsToContents();
    const QByteArray widths = QSettings().value(kColumnWidthsKey).toByteArray();
    if (!widths.isEmpty()) {
        header.restoreState(widths);
    }
    connect(&mytable, &QAbstractItemModel::rowsInserted, this, [this] { fitColumns(); });
    connect(&header, &QHeaderView::sectionResized, this, [this](int column) {
        if (column + 1 < mytable.columnCount()) {
            fitColumns();
        }
    });

    Copyrows.setText(QStringLiteral("Copy"));
    Copyrows.setShortcut(QKeySequence::Copy);
    Copyrows.setShortcutContext(Qt::WidgetWithChildrenShortcut);
    Logwindow.addAction(&Copyrows);
    Logwindow.setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(&Copyrows, &QAction::triggered, this, [this] { copySelectedRows(); });
}

void Mainwindow::fitColumns() {
    QHeaderView& header = *Logwindow.horizontalHeader();
    const QAbstractItemView& view = Logwindow;
    const auto needed = [&](int column) {
        return std::max(view.sizeHintForColumn(column), header.sectionSizeHint(column));
    };
    const int last = mytable.columnCount() - 1;
    int others = 0;
    // Only grows, so a width the operator chose stays until a longer cell needs more.
    for (int column = 0; column < last; ++column) {
        if (needed(column) > header.sectionSize(column)) {
            header.resizeSection(column, needed(column));
        }
        others += header.sectionSize(column);
    }
    header.resizeSection(last, std::max(needed(last), Logwindow.viewport()->width() - others));
}

bool Mainwindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Logwindow.viewport() && event->type() == QEvent::Resize) {
        fitColumns();
    }
    return QMainWindow::eventFilter(watched, event);
}

void Mainwindow::rememberColumnWidths() {
    QSettings().setValue(kColumnWidthsKey, Logwindow.horizontalHeader()->saveState());
}

void Mainwindow::copySelectedRows() {
    QModelIndexList selected = Logwindow.selectionModel()->selectedRows();
    if (selected.isEmpty()) {
        return;
    }
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    std::vector<engine::Logfile> rows;
    for (const QModelIndex& index : selected) {
        rows.push_back(mytable.row(index.row()));
    }
    const bool withAdapter = anyRowHasAdapter(rows);
    QString text;
    for (const auto& row : rows) {
        text += csvLine(row, withAdapter) + QLatin1Char('\n');
    }
    QGuiApplication::clipboard()->setText(text);
}

void Mainwindow::dragEnterEvent(QDragEnterEvent* event) {
    // Only while a file may be chosen: the File menu is off while a pass runs.
    if (Jmenufile.isEnabled() && droppedFile(event->mimeData())) {
        event->acceptProposedAction();
    }
}

void Mainwindow::dropEvent(QDropEvent* event) {
    const auto file = droppedFile(event->mimeData());
    if (!Jmenufile.isEnabled() || !file) {
        return;
    }
    event->acceptProposedAction();
    chooseFile(*file);
}

void Mainwindow::closeEvent(QCloseEvent* event) {
    event->accept();
    endProgram();
}

void Mainwindow::endProgram() {
    rememberColumnWidths();
    if (mycampaign || pushjobs.taken() > 0) {
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
    if (mycampaign) {
        return;
    }
    if (Filename.text().isEmpty()) {
        Statusfield.setText(QStringLiteral("No File Choosen"));
        return;
    }
    Statusfield.setText(QStringLiteral("Running"));
    setWindowTitle(kTitle);
    passstatus.begin();
    QSettings settings;
    const campaign::Rules rules = loadRules(settings);
    Passnumber.clear();
    Passnumber.setVisible(rules.repeat);
    engine::PassProgress* const progress = this;
    mycampaign =
        std::make_unique<campaign::Campaign>(campaign::CampaignSettings{chosenfile, rules, pacing},
                                             history.get(), mytable, pushjobs, progress);
    mycampaign->start();
    Stopbluetoothbtn.setEnabled(true);
    Startbluetoothbtn.setEnabled(false);
    enableFileMenu(false);
    // The rules hold for the whole campaign.
    Jmenuitemrules.setEnabled(false);
}

void Mainwindow::changed(const engine::PassState& now) {
    passstatus.changed(now);
    // Counted here, and queued like the state, so that the number shown is that of the pass
    // whose state is shown. The campaign is set before its thread starts and goes only after
    // its last pass.
    const int pass = mycampaign->passes();
    QMetaObject::invokeMethod(
        this, [this, pass] { Passnumber.setText(QStringLiteral("Pass %1").arg(pass)); },
        Qt::QueuedConnection);
}

void Mainwindow::StopbluetoothbtnActionPerformed() {
    Statusfield.setText(QStringLiteral("Stopping"));
    Stopbluetoothbtn.setEnabled(false);
    campaign::Campaign* const running = mycampaign.get();
    // The previous stopper has ended: Stop stays disabled until its work is done.
    stopbluetooththread = std::make_unique<bluetooth::OwnedThread>();
    stopbluetooththread->start([this, running] {
        if (running != nullptr) {
            // Nothing new starts: the inquiry is cancelled, a search in progress ends and no
            // pass follows.
            running->stop();
            while (!running->waitUntilEnded(pacing.poll)) {
            }
        }
        // The pushes in flight end on their own, each with its row.
        pushjobs.waitUntilAllEnded();
        QMetaObject::invokeMethod(
            this, [this] { stopped(); }, Qt::QueuedConnection);
    });
}

void Mainwindow::stopped() {
    // Its passes and their pushes have ended.
    mycampaign.reset();
    Startbluetoothbtn.setEnabled(true);
    enableFileMenu(true);
    Jmenuitemrules.setEnabled(true);
    Statusfield.setText(QStringLiteral("Stopped"));
    passstatus.stopped();
    historywindow.passEnded();
}

void Mainwindow::JmenuitemopenActionPerformed() {
    const std::optional<QString> approved = dialogs->chooseFileToSend();
    if (!approved) {
        return;
    }
    chooseFile(toPath(*approved));
}

void Mainwindow::chooseFile(const std::filesystem::path& file) {
    if (Videofilter::isSupportedType(file)) {
        chosenfile = file;
        Filename.setText(QString::fromStdU16String(file.filename().u16string()));
        Filename.setToolTip(toQString(file));
        showFilePreview();
    }
    if (Filename.text().isEmpty()) {
        Statusfield.setText(QStringLiteral("Invalid File Type"));
    }
}

void Mainwindow::showFilePreview() {
    QPixmap thumbnail = thumbnailOf(chosenfile, kThumbnailBound);
    if (thumbnail.isNull()) {
        thumbnail = style()->standardIcon(QStyle::SP_FileIcon).pixmap(32, 32);
    }
    Filethumbnail.setPixmap(thumbnail);
    Filethumbnail.show();
    Filesize.setText(sizeTextOf(chosenfile));
    Filesize.setVisible(!Filesize.text().isEmpty());
}

void Mainwindow::JmenuitemsavelogActionPerformed() {
    const std::optional<QString> approved = dialogs->chooseLogFile();
    if (!approved) {
        return;
    }
    const QString path = withCsvSuffix(*approved);
    if (const auto error = saveLog(path, mytable)) {
        bluetooth::printLine(error->toStdString());
        dialogs->reportFailure(QStringLiteral("Save Log"),
                               QStringLiteral("The log could not be saved: ") + *error);
        return;
    }
    Statusfield.setText(QStringLiteral("Log Saved"));
    passstatus.showMessage(QStringLiteral("Log saved to ") + QDir::toNativeSeparators(path));
}

void Mainwindow::JmenuitemexitActionPerformed() {
    endProgram();
}

void Mainwindow::JmenuitemrulesActionPerformed() {
    QSettings settings;
    rulesdialog.load(settings);
    rulesdialog.open();
}

void Mainwindow::JmenuitemhistoryActionPerformed() {
    historywindow.show();
    historywindow.raise();
    historywindow.activateWindow();
}

void Mainwindow::JmenuaboutActionPerformed() {
    aboutwindow.show();
    aboutwindow.raise();
    aboutwindow.activateWindow();
}

}  // namespace flarecast::ui
