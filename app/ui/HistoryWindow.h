#pragma once

#include <QAbstractTableModel>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <QWidget>
#include <vector>

#include "app/campaign/History.h"
#include "app/ui/HistoryChart.h"

namespace flarecast::ui {

// The history's totals of each day, newest day first: Day, Found, Object Push, Sent, Declined,
// Failed.
class DayTotalsModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit DayTotalsModel(QObject* parent = nullptr);

    // Oldest first, as the history gives them.
    void set(const std::vector<campaign::DayTotals>& totals);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    std::vector<campaign::DayTotals> days;
};

// What the campaigns did, day by day and over time, read from the history the window's
// campaigns write. A window of its own beside the main window, which owns it; closing it only
// hides it. Where there is no history it says why.
class HistoryWindow final : public QWidget {
    Q_OBJECT

public:
    // history, when there is one, outlives the window; else unavailable says why not.
    HistoryWindow(campaign::History* history, const QString& unavailable, QWidget* owner);

    // Reads the history again; what cannot be read is said in the window.
    void reload();
    // A pass has ended: what it did is shown, if the window is.
    void passEnded();

    const DayTotalsModel& totals() const { return dayTotals; }
    const HistoryChart& pushes() const { return Pushchart; }

protected:
    void showEvent(QShowEvent* event) override;
    // Escape closes it, as it closes a dialog.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void initComponents();
    void plot(const std::vector<campaign::DayTotals>& totals);

    campaign::History* const history;
    const QString unavailable;
    // Until the operator picks a span, the chart picks the one that shows the latest pushes.
    bool spanChosen = false;
    DayTotalsModel dayTotals;

    QVBoxLayout rows;
    QHBoxLayout topRow;
    QHBoxLayout buttonRow;
    QLabel Historyfile;
    QLabel Historyproblem;
    QComboBox Chartspan;
    HistoryChart Pushchart;
    QLabel tableLabel;
    QTableView Daytotals;
    QPushButton Reloadbtn;
    QPushButton Closebtn;
};

}  // namespace flarecast::ui
