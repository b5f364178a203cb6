#pragma once

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QDate>
#include <QDateTime>
#include <QStackedBarSeries>
#include <QString>
#include <QValueAxis>
#include <vector>

#include "app/campaign/History.h"

namespace flarecast::ui {

// Push attempts of one hour or one day, as the chart stacks them.
struct PushBar {
    QString label;
    int sent = 0;
    int declined = 0;
    // Neither sent nor declined: radio failures, cancelled and failed pushes.
    int failed = 0;

    friend bool operator==(const PushBar&, const PushBar&) = default;
};

// The hours up to and including the one `now` is in, oldest first, labelled by their local hour.
std::vector<PushBar> pushesPerHour(const std::vector<campaign::PushRecord>& pushes,
                                   const QDateTime& now, int hours);
// The days up to and including today, oldest first, labelled by their day of the month.
std::vector<PushBar> pushesPerDay(const std::vector<campaign::DayTotals>& totals,
                                  const QDate& today, int days);

// Push attempts over time as stacked bars: sent, declined and failed.
class HistoryChart final : public QChartView {
    Q_OBJECT

public:
    explicit HistoryChart(QWidget* parent = nullptr);

    void plot(const std::vector<PushBar>& bars, const QString& title);
    // What the chart shows now, for tests.
    const std::vector<PushBar>& bars() const { return shown; }

private:
    std::vector<PushBar> shown;
    // Destroyed before the view's scene, which would otherwise delete it; it owns the rest.
    QChart chart;
    QStackedBarSeries* series;
    QBarSet* sent;
    QBarSet* declined;
    QBarSet* failed;
    QBarCategoryAxis* times;
    QValueAxis* counts;
};

}  // namespace flarecast::ui
