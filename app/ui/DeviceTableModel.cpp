#include "app/ui/DeviceTableModel.h"

#include <QColor>
#include <QStringList>
#include <array>

namespace flarecast::ui {

namespace {

// The first four stay where they always were; what is added goes after them.
constexpr std::array<const char*, 5> kColumnTitles = {"Bluetooth Name", "Bluetooth Address",
                                                      "Date/Time", "Sent", "Detail"};

QString sentMark(bool sent) {
    return sent ? QStringLiteral("\u2713") : QStringLiteral("\u2717");
}

}  // namespace

DeviceTableModel::DeviceTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void DeviceTableModel::append(const engine::Logfile& row) {
    // Queued even on the GUI thread, so that a row appended there cannot overtake rows that
    // other threads have already queued.
    QMetaObject::invokeMethod(
        this, [this, row] { appendOnGuiThread(row); }, Qt::QueuedConnection);
}

void DeviceTableModel::appendOnGuiThread(const engine::Logfile& row) {
    const int at = static_cast<int>(rows.size());
    beginInsertRows({}, at, at);
    rows.push_back(row);
    endInsertRows();
}

int DeviceTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows.size());
}

int DeviceTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(kColumnTitles.size());
}

QVariant DeviceTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const engine::Logfile& cells = rows[static_cast<std::size_t>(index.row())];
    const int column = index.column();
    switch (role) {
        case Qt::DisplayRole:
            return display(cells, column);
        case Qt::ToolTipRole:
            return toolTip(cells, column);
        case Qt::AccessibleTextRole:
            // A screen reader says the words, not the mark.
            return column == kSentColumn
                       ? (cells.sent ? QStringLiteral("Sent") : QStringLiteral("Not sent"))
                       : display(cells, column);
        case Qt::ForegroundRole:
            if (column == kSentColumn) {
                return QColor(cells.sent ? QColor(0x1b, 0x7f, 0x2a) : QColor(0xb0, 0x1c, 0x1c));
            }
            return {};
        case Qt::TextAlignmentRole:
            if (column == kSentColumn) {
                return QVariant::fromValue(Qt::AlignCenter);
            }
            return {};
        default:
            return {};
    }
}

QVariant DeviceTableModel::display(const engine::Logfile& cells, int column) {
    switch (column) {
        case 0:
            return QString::fromStdString(cells.bluetoothname);
        case 1:
            return QString::fromStdString(cells.bluetoothaddress);
        case 2:
            return QString::fromStdString(cells.datesent);
        case kSentColumn:
            return sentMark(cells.sent);
        case kDetailColumn:
            return QString::fromStdString(cells.detail);
        default:
            return {};
    }
}

QVariant DeviceTableModel::toolTip(const engine::Logfile& cells, int column) {
    QStringList lines;
    // The detail also from the other cells, for a window too narrow to show its column; the
    // detail's own tip is the full error.
    const std::string& why = column == kDetailColumn ? cells.error : cells.detail;
    if (!why.empty()) {
        lines << QString::fromStdString(why);
    }
    if (!cells.adapter.empty()) {
        lines << QStringLiteral("Served through ") + QString::fromStdString(cells.adapter);
    }
    if (lines.isEmpty()) {
        return {};
    }
    return lines.join(QLatin1Char('\n'));
}

QVariant DeviceTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role == Qt::DisplayRole && orientation == Qt::Horizontal && section >= 0 &&
        section < columnCount()) {
        return QString::fromLatin1(kColumnTitles[static_cast<std::size_t>(section)]);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

const engine::Logfile& DeviceTableModel::row(int index) const {
    return rows.at(static_cast<std::size_t>(index));
}

}  // namespace flarecast::ui
