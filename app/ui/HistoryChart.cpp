#include "app/ui/HistoryChart.h"

#include <QLegend>
#include <algorithm>
#include <map>
#include <memory>

namespace flarecast::ui {

namespace {

void count(PushBar& bar, campaign::Outcome outcome) {
    switch (outcome) {
        case campaign::Outcome::Sent:
            ++bar.sent;
            return;
        case campaign::Outcome::Declined:
            ++bar.declined;
            return;
        case campaign::Outcome::RadioFailure:
        case campaign::Outcome::Cancelled:
        case campaign::Outcome::Failed:
            ++bar.failed;
            return;
    }
}

// Handed to the chart, which owns it from then on.
template <typename T, typename... Args>
T* ownedByChart(Args&&... args) {
    return std::make_unique<T>(std::forward<Args>(args)...).release();
}

}  // namespace

std::vector<PushBar> pushesPerHour(const std::vector<campaign::PushRecord>& pushes,
                                   const QDateTime& now, int hours) {
    const QDateTime thisHour(now.date(), QTime(now.time().hour(), 0));
    const QDateTime first = thisHour.addSecs(-3600LL * (hours - 1));
    std::vector<PushBar> bars;
    for (int hour = 0; hour < hours; ++hour) {
        bars.push_back({first.addSecs(3600LL * hour).toString(QStringLiteral("HH"))});
    }
    const qint64 firstMs = first.toMSecsSinceEpoch();
    for (const auto& push : pushes) {
        const qint64 ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(push.time.time_since_epoch())
                .count();
        if (ms < firstMs) {
            continue;
        }
        const auto hour = static_cast<std::size_t>((ms - firstMs) / 3600000);
        if (hour < bars.size()) {
            count(bars[hour], push.outcome);
        }
    }
    return bars;
}

std::vector<PushBar> pushesPerDay(const std::vector<campaign::DayTotals>& totals,
                                  const QDate& today, int days) {
    std::map<QString, const campaign::DayTotals*> byDay;
    for (const auto& day : totals) {
        byDay[QString::fromStdString(day.day)] = &day;
    }
    std::vector<PushBar> bars;
    for (int back = days - 1; back >= 0; --back) {
        const QDate date = today.addDays(-back);
        // The day of the month alone fits under a bar; the chart's title names the months.
        PushBar bar{QString::number(date.day())};
        if (const auto found = byDay.find(date.toString(Qt::ISODate)); found != byDay.end()) {
            bar.sent = static_cast<int>(found->second->sent);
            bar.declined = static_cast<int>(found->second->declined);
            bar.failed = static_cast<int>(found->second->failed);
        }
        bars.push_back(bar);
    }
    return bars;
}

HistoryChart::HistoryChart(QWidget* parent)
    : QChartView(parent),
      series(ownedByChart<QStackedBarSeries>()),
      sent(ownedByChart<QBarSet>(QStringLiteral("Sent"))),
      declined(ownedByChart<QBarSet>(QStringLiteral("Declined"))),
      failed(ownedByChart<QBarSet>(QStringLiteral("Failed"))),
      times(ownedByChart<QBarCategoryAxis>()),
      counts(ownedByChart<QValueAxis>()) {
    sent->setColor(QColor(0x2e, 0x9e, 0x44));
    declined->setColor(QColor(0xe8, 0xa3, 0x17));
    failed->setColor(QColor(0xd0, 0x31, 0x2d));
    for (QBarSet* set : {sent, declined, failed}) {
        set->setBorderColor(set->color());
        series->append(set);
    }
    series->setBarWidth(0.8);
    chart.addSeries(series);
    chart.addAxis(times, Qt::AlignBottom);
    chart.addAxis(counts, Qt::AlignLeft);
    series->attachAxis(times);
    series->attachAxis(counts);
    counts->setLabelFormat(QStringLiteral("%d"));
    counts->setMinorTickCount(0);
    chart.legend()->setAlignment(Qt::AlignBottom);
    chart.setMargins(QMargins(4, 4, 4, 4));
    chart.setBackgroundRoundness(0);
    // The view came with a chart of its own, which it gives up, not deletes, for this one.
    const std::unique_ptr<QChart> unused(QChartView::chart());
    setChart(&chart);
    setRenderHint(QPainter::Antialiasing);
    setAccessibleName(QStringLiteral("Pushes over time"));
    setMinimumHeight(220);
}

void HistoryChart::plot(const std::vector<PushBar>& bars, const QString& title) {
    shown = bars;
    chart.setTitle(title);
    QStringList labels;
    QList<qreal> sentCounts;
    QList<qreal> declinedCounts;
    QList<qreal> failedCounts;
    int most = 0;
    for (const PushBar& bar : bars) {
        labels.push_back(bar.label);
        sentCounts.push_back(bar.sent);
        declinedCounts.push_back(bar.declined);
        failedCounts.push_back(bar.failed);
        most = std::max(most, bar.sent + bar.declined + bar.failed);
    }
    for (auto [set, values] : {std::pair{sent, &sentCounts}, std::pair{declined, &declinedCounts},
                               std::pair{failed, &failedCounts}}) {
        set->remove(0, set->count());
        set->append(*values);
    }
    times->clear();
    times->append(labels);
    // Whole pushes only, with a little room above the highest bar.
    const int top = std::max(4, most + (most + 9) / 10);
    counts->setRange(0, top);
    counts->setTickCount(std::min(top, 4) + 1);
    counts->applyNiceNumbers();
}

}  // namespace flarecast::ui
