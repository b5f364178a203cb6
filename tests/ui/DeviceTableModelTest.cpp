#include <gtest/gtest.h>

#include <QCoreApplication>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "app/ui/DeviceTableModel.h"

namespace flarecast::ui {
namespace {

TEST(DeviceTableModel, StartsEmptyWithTheFourColumnsThenTheDetail) {
    DeviceTableModel table;
    EXPECT_EQ(table.rowCount(), 0);
    ASSERT_EQ(table.columnCount(), 5);
    const char* titles[] = {"Bluetooth Name", "Bluetooth Address", "Date/Time", "Sent", "Detail"};
    for (int column = 0; column < 5; ++column) {
        EXPECT_EQ(table.headerData(column, Qt::Horizontal).toString().toStdString(),
                  titles[column]);
    }
}

// The mark is for the eye; a screen reader gets words, and the full error is the detail's tip.
TEST(DeviceTableModel, ShowsSentAsAMarkAndExplainsEveryRow) {
    DeviceTableModel table;
    table.append({"phone", "00123456789a", "today", true, "", "Sent"});
    table.append({"other", "00123456789b", "today", false, "", "Declined on the phone (0xC3)",
                  "Command not accepted 195(2)", 0xC3});
    QCoreApplication::processEvents();
    ASSERT_EQ(table.rowCount(), 2);
    EXPECT_EQ(table.data(table.index(0, 0)).toString(), "phone");
    EXPECT_EQ(table.data(table.index(0, 1)).toString(), "00123456789a");
    EXPECT_EQ(table.data(table.index(0, 3)).toString(), QString::fromUtf8("\u2713"));
    EXPECT_EQ(table.data(table.index(1, 3)).toString(), QString::fromUtf8("\u2717"));
    EXPECT_EQ(table.data(table.index(0, 3), Qt::AccessibleTextRole).toString(), "Sent");
    EXPECT_EQ(table.data(table.index(1, 3), Qt::AccessibleTextRole).toString(), "Not sent");
    EXPECT_EQ(table.data(table.index(0, 4)).toString(), "Sent");
    EXPECT_EQ(table.data(table.index(1, 4)).toString(), "Declined on the phone (0xC3)");
    EXPECT_EQ(table.data(table.index(1, 4), Qt::ToolTipRole).toString(),
              "Command not accepted 195(2)");
    EXPECT_FALSE(table.data(table.index(0, 4), Qt::ToolTipRole).isValid());
    // A window too narrow for the detail still tells it from the row's other cells.
    EXPECT_EQ(table.data(table.index(1, 0), Qt::ToolTipRole).toString(),
              "Declined on the phone (0xC3)");
    EXPECT_EQ(table.data(table.index(0, 3), Qt::ToolTipRole).toString(), "Sent");
}

TEST(DeviceTableModel, ARowFromOneOfSeveralAdaptersSaysWhichInItsToolTip) {
    DeviceTableModel table;
    table.append({"phone", "00123456789a", "today", true, "hci1"});
    QCoreApplication::processEvents();
    ASSERT_EQ(table.rowCount(), 1);
    EXPECT_EQ(table.columnCount(), 5);
    EXPECT_EQ(table.data(table.index(0, 1), Qt::ToolTipRole).toString(), "Served through hci1");
    EXPECT_EQ(table.data(table.index(0, 1)).toString(), "00123456789a");
}

TEST(DeviceTableModel, RowsFromManyThreadsAllArriveInEachThreadsOrder) {
    DeviceTableModel table;
    constexpr int kThreads = 4;
    constexpr int kRowsEach = 200;
    std::vector<std::thread> appenders;
    for (int t = 0; t < kThreads; ++t) {
        appenders.emplace_back([&table, t] {
            for (int i = 0; i < kRowsEach; ++i) {
                table.append({"thread" + std::to_string(t), std::to_string(i), "", true});
            }
        });
    }
    // Also from the GUI thread while the others run.
    table.append({"gui", "0", "", false});
    for (auto& appender : appenders) {
        appender.join();
    }
    QCoreApplication::processEvents();

    ASSERT_EQ(table.rowCount(), kThreads * kRowsEach + 1);
    std::map<std::string, int> next;
    for (int row = 0; row < table.rowCount(); ++row) {
        const auto& cells = table.row(row);
        EXPECT_EQ(std::stoi(cells.bluetoothaddress), next[cells.bluetoothname]++);
    }
}

}  // namespace
}  // namespace flarecast::ui
