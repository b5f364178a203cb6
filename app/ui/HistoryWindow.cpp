#include "app/ui/HistoryWindow.h"

#include <QDir>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QShowEvent>
#include <array>
#include <exception>

#include "app/ui/Paths.h"

namespace flarecast::ui {

namespace {

constexpr std::array<const char*, 6> kColumnTitles = {"Day",  "Found",    "Object Push",
                                                      "Sent", "Declined", "Failed"};
constexpr int kHours = 24;
constexpr int kDays = 14;
enum Span { PerHour, PerDay };

}  // namespace

DayTotalsModel::DayTotalsModel(QObject* parent) : QAbstractTableModel(parent) {}

void DayTotalsModel::set(const std::vector<campaign::DayTotals>& totals) {
    beginResetModel();
    days.assign(totals.rbegin(), totals.rend());
    endResetModel();
}

int DayTotalsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(days.size());
}

int DayTotalsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(kColumnTitles.size());
}

QVariant DayTotalsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const campaign::DayTotals& day = days[static_cast<std::size_t>(index.row())];
    if (role == Qt::TextAlignmentRole) {
        return index.column() == 0 ? QVariant() : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    }
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) {
        return {};
    }
    switch (index.column()) {
        case 0:
            return QString::fromStdString(day.day);
        case 1:
            return static_cast<qlonglong>(day.found);
        case 2:
            return static_cast<qlonglong>(day.offering);
        case 3:
            return static_cast<qlonglong>(day.sent);
        case 4:
            return static_cast<qlonglong>(day.declined);
        case 5:
            return static_cast<qlonglong>(day.failed);
        default:
            return {};
    }
}

QVariant DayTotalsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= columnCount()) {
        return {};
    }
    return QString::fromLatin1(kColumnTitles[static_cast<std::size_t>(section)]);
}

HistoryWindow::HistoryWindow(campaign::History* history, const QString& unavailable, QWidget* owner)
    : QWidget(owner, Qt::Window), history(history), unavailable(unavailable), dayTotals(this) {
    initComponents();
    setWindowIcon(QIcon(QStringLiteral(":/images/icon.gif")));
}

void HistoryWindow::initComponents() {
    setWindowTitle(QStringLiteral("Campaign History"));
    for (auto [object, name] : std::initializer_list<std::pair<QObject*, const char*>>{
             {&Historyfile, "Historyfile"},
             {&Historyproblem, "Historyproblem"},
             {&Chartspan, "Chartspan"},
             {&Pushchart, "Pushchart"},
             {&Daytotals, "Daytotals"},
             {&Reloadbtn, "Reloadbtn"},
             {&Closebtn, "Historyclosebtn"},
             {&dayTotals, "dayTotals"}}) {
        object->setObjectName(QString::fromLatin1(name));
    }

    Historyfile.setTextInteractionFlags(Qt::TextSelectableByMouse);
    Historyfile.setAccessibleName(QStringLiteral("History file"));
    Historyfile.setText(history != nullptr ? QDir::toNativeSeparators(toQString(history->path()))
                                           : QString());
    Historyfile.setToolTip(Historyfile.text());
    Historyproblem.setWordWrap(true);
    Historyproblem.setAccessibleName(QStringLiteral("Problem"));
    Historyproblem.setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPalette problemPalette = Historyproblem.palette();
    problemPalette.setColor(QPalette::WindowText, QColor(0xb0, 0x00, 0x20));
    Historyproblem.setPalette(problemPalette);
    Historyproblem.hide();

    Chartspan.addItem(QStringLiteral("Per hour, last 24 hours"), PerHour);
    Chartspan.addItem(QStringLiteral("Per day, last 14 days"), PerDay);
    Chartspan.setAccessibleName(QStringLiteral("Chart span"));
    connect(&Chartspan, &QComboBox::activated, this, [this] {
        spanChosen = true;
        reload();
    });

    tableLabel.setText(QStringLiteral("Totals per day"));
    tableLabel.setBuddy(&Daytotals);
    Daytotals.setModel(&dayTotals);
    Daytotals.setAccessibleName(QStringLiteral("Totals per day"));
    Daytotals.setSelectionBehavior(QAbstractItemView::SelectRows);
    Daytotals.setEditTriggers(QAbstractItemView::NoEditTriggers);
    Daytotals.verticalHeader()->hide();
    Daytotals.horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    Daytotals.setMinimumHeight(140);

    Reloadbtn.setText(QStringLiteral("Reload"));
    Closebtn.setText(QStringLiteral("Close"));
    connect(&Reloadbtn, &QPushButton::clicked, this, [this] { reload(); });
    connect(&Closebtn, &QPushButton::clicked, this, &QWidget::close);

    topRow.addWidget(&Historyfile, 1);
    topRow.addWidget(&Chartspan);
    buttonRow.addStretch();
    buttonRow.addWidget(&Reloadbtn);
    buttonRow.addWidget(&Closebtn);
    rows.addLayout(&topRow);
    rows.addWidget(&Historyproblem);
    rows.addWidget(&Pushchart, 3);
    rows.addWidget(&tableLabel);
    rows.addWidget(&Daytotals, 2);
    rows.addLayout(&buttonRow);
    setLayout(&rows);
    resize(720, 560);
}

void HistoryWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) {
        reload();
    }
}

void HistoryWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void HistoryWindow::passEnded() {
    if (isVisible()) {
        reload();
    }
}

void HistoryWindow::reload() {
    if (history == nullptr) {
        Historyproblem.setText(QStringLiteral("No history: ") + unavailable);
        Historyproblem.show();
        Reloadbtn.setEnabled(false);
        dayTotals.set({});
        plot({});
        return;
    }
    try {
        const auto totals = history->totalsPerDay();
        dayTotals.set(totals);
        plot(totals);
        Historyproblem.hide();
    } catch (const std::exception& error) {
        Historyproblem.setText(QStringLiteral("The history cannot be read: ") +
                               QString::fromStdString(error.what()));
        Historyproblem.show();
    }
}

void HistoryWindow::plot(const std::vector<campaign::DayTotals>& totals) {
    const QDateTime now = QDateTime::currentDateTime();
    if (!spanChosen) {
        // Per hour while today's pushes are all there is to see.
        const bool onlyToday =
            totals.empty() || (totals.size() == 1 && QString::fromStdString(totals.back().day) ==
                                                         now.date().toString(Qt::ISODate));
        Chartspan.setCurrentIndex(Chartspan.findData(onlyToday ? PerHour : PerDay));
    }
    if (Chartspan.currentData().toInt() == PerHour) {
        const auto pushes =
            history != nullptr ? history->pushes() : std::vector<campaign::PushRecord>{};
        Pushchart.plot(pushesPerHour(pushes, now, kHours),
                       QStringLiteral("Pushes per hour, last 24 hours"));
    } else {
        const QString days =
            QStringLiteral("%1 \u2013 %2")
                .arg(now.date().addDays(1 - kDays).toString(QStringLiteral("d MMM")),
                     now.date().toString(QStringLiteral("d MMM")));
        Pushchart.plot(pushesPerDay(totals, now.date(), kDays),
                       QStringLiteral("Pushes per day, ") + days);
    }
}

}  // namespace flarecast::ui
