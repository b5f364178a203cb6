#include "app/ui/DeviceTableModel.h"

#include <array>

namespace flarecast::ui {

namespace {

constexpr std::array<const char*, 4> kColumnTitles = {"Bluetooth Name", "Bluetooth Address",
                                                      "Date/Time", "Sent"};

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
    if (role == Qt::ToolTipRole && !cells.adapter.empty()) {
        return QStringLiteral("Served through ") + QString::fromStdString(cells.adapter);
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    switch (index.column()) {
        case 0:
            return QString::fromStdString(cells.bluetoothname);
        case 1:
            return QString::fromStdString(cells.bluetoothaddress);
        case 2:
            return QString::fromStdString(cells.datesent);
        case 3:
            return cells.sent ? QStringLiteral("true") : QStringLiteral("false");
        default:
            return {};
    }
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
