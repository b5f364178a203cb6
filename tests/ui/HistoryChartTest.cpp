// The chart's bars: pushes counted per hour or per day, by how they ended.

#include <gtest/gtest.h>

#include "app/ui/HistoryChart.h"

namespace flarecast::ui {
namespace {

campaign::PushRecord pushAt(const QDateTime& when, campaign::Outcome outcome) {
    campaign::PushRecord push;
    push.time = campaign::Clock::time_point(std::chrono::milliseconds(when.toMSecsSinceEpoch()));
    push.outcome = outcome;
    return push;
}

// Each push counts in its local hour, by how it ended; older ones and later ones are left out.
TEST(PushesOverTime, PerHourCountsEachPushInItsHour) {
    const QDateTime now(QDate(2026, 3, 14), QTime(10, 25));
    using campaign::Outcome;
    const std::vector<campaign::PushRecord> pushes = {
        pushAt(QDateTime(QDate(2026, 3, 14), QTime(7, 59)), Outcome::Sent),
        pushAt(QDateTime(QDate(2026, 3, 14), QTime(8, 0)), Outcome::Sent),
        pushAt(QDateTime(QDate(2026, 3, 14), QTime(8, 30)), Outcome::Declined),
        pushAt(QDateTime(QDate(2026, 3, 14), QTime(10, 0)), Outcome::RadioFailure),
        pushAt(QDateTime(QDate(2026, 3, 14), QTime(10, 20)), Outcome::Cancelled),
        pushAt(QDateTime(QDate(2026, 3, 14), QTime(11, 0)), Outcome::Sent),
    };
    EXPECT_EQ(pushesPerHour(pushes, now, 3),
              (std::vector<PushBar>{{"08", 1, 1, 0}, {"09", 0, 0, 0}, {"10", 0, 0, 2}}));
}

TEST(PushesOverTime, PerDayTakesTheDaysTotalsAndFillsTheDaysBetween) {
    const std::vector<campaign::DayTotals> totals = {
        {"2026-03-01", 9, 9, 9, 9, 9},
        {"2026-03-12", 5, 4, 3, 1, 2},
        {"2026-03-14", 2, 2, 1, 0, 0},
    };
    EXPECT_EQ(pushesPerDay(totals, QDate(2026, 3, 14), 3),
              (std::vector<PushBar>{{"12", 3, 1, 2}, {"13", 0, 0, 0}, {"14", 1, 0, 0}}));
}

}  // namespace
}  // namespace flarecast::ui
