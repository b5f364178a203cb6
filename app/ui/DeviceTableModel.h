#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "app/engine/Logfile.h"
#include "app/engine/RowSink.h"

namespace flarecast::ui {

// The device table: rows are only appended. Engine threads append through RowSink; each row is
// queued onto the GUI thread, so the view and the CSV export never see half a row and rows keep
// the order in which they were appended.
class DeviceTableModel final : public QAbstractTableModel, public engine::RowSink {
    Q_OBJECT

public:
    static constexpr int kSentColumn = 3;
    static constexpr int kDetailColumn = 4;

    explicit DeviceTableModel(QObject* parent = nullptr);

    void append(const engine::Logfile& row) override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // GUI thread only.
    const engine::Logfile& row(int index) const;

private:
    static QVariant display(const engine::Logfile& cells, int column);
    static QVariant toolTip(const engine::Logfile& cells, int column);
    void appendOnGuiThread(const engine::Logfile& row);

    std::vector<engine::Logfile> rows;
};

}  // namespace flarecast::ui
