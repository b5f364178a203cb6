// Start under rules saved in the settings: a campaign of passes until Stop, with devices skipped
// by the rules, and the history window showing what it did.

#include <gtest/gtest.h>

#include <QAction>
#include <QDate>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <set>

#include "WindowPassFixture.h"
#include "app/campaign/History.h"
#include "app/ui/RulesSettings.h"

namespace flarecast::ui {
namespace {

using namespace std::chrono_literals;
using engine::GatedNeighbourhood;
using engine::Phones;

class CampaignWindow : public WindowPassFixture {
protected:
    void SetUp() override {
        WindowPassFixture::SetUp();
        historyFile = files.path / "history.sqlite";
        qputenv("FLARECAST_HISTORY", QByteArray::fromStdString(historyFile.string()));
        QSettings().remove(QStringLiteral("campaign"));
    }
    void TearDown() override {
        window.reset();
        QSettings().remove(QStringLiteral("campaign"));
        qunsetenv("FLARECAST_HISTORY");
    }

    std::set<QString> rowNames() {
        std::set<QString> names;
        for (int row = 0; row < window->table().rowCount(); ++row) {
            names.insert(window->table().data(window->table().index(row, 0)).toString());
        }
        return names;
    }

    std::filesystem::path historyFile;
};

// A blocked phone gets no push and no row; the campaign goes on to a second pass, which pushes
// to no one already served, until Stop; the history window counts what the campaign did.
TEST_F(CampaignWindow, SavedRulesMakeStartRunACampaignThatTheHistoryShows) {
    GatedNeighbourhood phones(3);
    campaign::Rules rules;
    rules.repeat = true;
    rules.passPause = 1s;
    rules.block.addresses = {*campaign::normalAddress(GatedNeighbourhood::address(2))};
    {
        QSettings settings;
        saveRules(settings, rules);
    }
    open();
    engine::Printed printed;
    start();
    EXPECT_FALSE(control<QAction>("Jmenuitemrules").isEnabled());
    EXPECT_TRUE(control<QAction>("Jmenuitemhistory").isEnabled());
    phones.owners.openAll();

    campaign::History reader(historyFile);
    const auto passesSeen = [&](int phone) {
        const auto seen = reader.seen(GatedNeighbourhood::address(phone));
        return seen ? seen->timesSeen : 0;
    };
    ASSERT_TRUE(eventually([&] { return passesSeen(1) >= 2 && window->table().rowCount() == 2; }))
        << "a second pass found the phones";
    ASSERT_TRUE(eventually([&] { return label("Passnumber").mid(5).toInt() >= 2; }))
        << label("Passnumber").toStdString();
    EXPECT_TRUE(control<QLabel>("Passnumber").isVisible());
    stop();
    ASSERT_TRUE(eventually([&] { return status() == "Stopped"; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(rowNames(), (std::set<QString>{"Phone 1", "Phone 3"}));
    EXPECT_TRUE(control<QPushButton>("Startbluetoothbtn").isEnabled());
    EXPECT_TRUE(control<QAction>("Jmenuitemrules").isEnabled());
    EXPECT_GE(passesSeen(2), 2) << "the blocked phone was found on every pass";
    const std::string out = printed.take();
    EXPECT_TRUE(engine::printedInOrder(out, {"Pass 1", "Pass 2"})) << out;
    EXPECT_NE(out.find("Skipped " + GatedNeighbourhood::address(2) + " (Phone 2): blocked"),
              std::string::npos)
        << out;

    control<QAction>("Jmenuitemhistory").trigger();
    const HistoryWindow& history = window->historyWindow();
    ASSERT_TRUE(history.isVisible());
    const QAbstractItemModel& totals = history.totals();
    ASSERT_EQ(totals.rowCount(), 1);
    std::vector<QString> day;
    for (int column = 0; column < totals.columnCount(); ++column) {
        day.push_back(totals.data(totals.index(0, column)).toString());
    }
    EXPECT_EQ(day, (std::vector<QString>{QDate::currentDate().toString(Qt::ISODate), "3", "2", "2",
                                         "0", "0"}));
    int sentInChart = 0;
    for (const PushBar& bar : history.pushes().bars()) {
        sentInChart += bar.sent;
    }
    EXPECT_EQ(sentInChart, 2);
}

// A history that cannot be opened is said once, in a line and in the history window; Start still
// runs its pass.
TEST_F(CampaignWindow, WithoutItsHistoryTheWindowStillRunsAPass) {
    GatedNeighbourhood phones(1);
    std::ofstream(historyFile) << "not a history\n";
    engine::Printed printed;
    open();
    const std::string out = printed.take();
    EXPECT_NE(out.find(historyFile.string()), std::string::npos) << out;

    start();
    phones.owners.openAll();
    ASSERT_TRUE(
        eventually([&] { return label("Passphase") == "Pass finished: 1 sent, 0 not sent"; }));
    EXPECT_FALSE(control<QLabel>("Passnumber").isVisible()) << "one pass has no number";
    stop();
    ASSERT_TRUE(eventually([&] { return status() == "Stopped"; }));

    control<QAction>("Jmenuitemhistory").trigger();
    const QLabel& problem = controlOf<QLabel>(window->historyWindow(), "Historyproblem");
    EXPECT_TRUE(problem.isVisible());
    EXPECT_TRUE(problem.text().contains(QString::fromStdString(historyFile.string())))
        << problem.text().toStdString();
    EXPECT_EQ(window->historyWindow().totals().rowCount(), 0);
}

}  // namespace
}  // namespace flarecast::ui
