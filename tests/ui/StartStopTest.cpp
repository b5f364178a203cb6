// The window over whole passes among phones whose owners answer when the test says so: Stop,
// the live progress, and why each row's phone got the file or not.

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <functional>
#include <map>
#include <memory>

#include "WindowPassFixture.h"
#include "app/ui/LogCsv.h"

// Failures show texts as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace flarecast::ui {
namespace {

using engine::GatedNeighbourhood;
using engine::Phones;

class WindowPass : public WindowPassFixture {
protected:
    // The details of the table's rows by device name.
    std::map<QString, QString> detailsByName() {
        std::map<QString, QString> details;
        for (int row = 0; row < window->table().rowCount(); ++row) {
            details[window->table().data(window->table().index(row, 0)).toString()] =
                window->table().data(window->table().index(row, 4)).toString();
        }
        return details;
    }
};

engine::Pacing twoSlots() {
    engine::Pacing pacing = engine::kQuick;
    pacing.pushSlots = 2;
    return pacing;
}

// After Stop nothing new starts, yet the pushes in flight end with their rows: the window says
// "Stopping" until they have.
TEST_F(WindowPass, StopStartsNothingNewAndWaitsForThePushesInFlight) {
    GatedNeighbourhood phones(4);
    open(twoSlots());
    start();
    ASSERT_TRUE(phones.owners.waitForArrivals(2));
    ASSERT_TRUE(eventually([&] { return window->pushJobs().waiting() == 1; }))
        << "the third phone waits for a slot";
    stop();
    EXPECT_EQ(status(), "Stopping");
    ASSERT_TRUE(eventually([&] { return window->pushJobs().waiting() == 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(status(), "Stopping") << "two pushes are still in flight";
    EXPECT_EQ(window->pushJobs().taken(), 2U);
    EXPECT_FALSE(control<QPushButton>("Startbluetoothbtn").isEnabled());

    phones.owners.openAll();
    ASSERT_TRUE(eventually([&] { return status() == "Stopped"; }));
    QCoreApplication::processEvents();
    ASSERT_EQ(window->table().rowCount(), 2);
    for (const auto& [name, detail] : detailsByName()) {
        EXPECT_EQ(detail, "Sent") << name.toStdString();
    }
    EXPECT_EQ(window->pushJobs().taken(), 0U);
    EXPECT_EQ(phones.owners.peakHeld(), 2);
    EXPECT_TRUE(control<QPushButton>("Startbluetoothbtn").isEnabled());
    EXPECT_EQ(label("Passphase"), "Stopped");
}

// An inquiry that would go on is cancelled by Stop instead of run to its end.
TEST_F(WindowPass, StopCancelsTheRunningInquiry) {
    GatedNeighbourhood phones(1);
    engine::SwappableStack& stack = *Phones::get().stack;
    stack.holdInquiries = true;
    open(engine::kQuick);
    start();
    ASSERT_TRUE(eventually([&] { return label("Passphase") == "Inquiring"; }));
    EXPECT_TRUE(control<QProgressBar>("Inquiryprogress").isVisible());
    stop();
    EXPECT_TRUE(eventually([&] { return status() == "Stopped"; }));
    stack.holdInquiries = false;
    EXPECT_EQ(window->table().rowCount(), 0);
    EXPECT_FALSE(control<QProgressBar>("Inquiryprogress").isVisible());
}

// The counts follow the pass as the owners answer; its end is said in the status bar and the
// title, while the status field keeps "Running" until Stop.
TEST_F(WindowPass, TheStatusBarFollowsThePassAndSaysWhenItFinished) {
    GatedNeighbourhood phones(3);
    open(engine::kQuick);
    start();
    ASSERT_TRUE(phones.owners.waitForArrivals(3));
    ASSERT_TRUE(eventually([&] { return label("Pushesrunning") == "Pushing: 3"; }));
    EXPECT_EQ(label("Devicesfound"), "Found: 3");
    EXPECT_EQ(label("Devicesoffering"), "Object Push: 3");
    EXPECT_EQ(label("Pushessent"), "Sent: 0");
    EXPECT_EQ(label("Passphase"), "Pushing");

    phones.owners.open(2);
    ASSERT_TRUE(eventually([&] { return label("Pushessent") == "Sent: 1"; }));
    EXPECT_EQ(label("Pushesrunning"), "Pushing: 2");
    EXPECT_EQ(window->windowTitle(), "Flarecast v1.0");

    phones.owners.openAll();
    const QString finished = QStringLiteral("Pass finished: 3 sent, 0 not sent");
    ASSERT_TRUE(eventually([&] { return label("Passphase") == finished; }));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Flarecast v1.0 \u2014 ") + finished);
    EXPECT_EQ(label("Pushesnotsent"), "Not sent: 0");
    EXPECT_EQ(status(), "Running");
    stop();
    ASSERT_TRUE(eventually([&] { return status() == "Stopped"; }));
    EXPECT_EQ(label("Passphase"), finished) << "a pass that finished keeps saying so";

    // The next Start begins again from nothing.
    start();
    EXPECT_EQ(window->windowTitle(), "Flarecast v1.0");
    EXPECT_EQ(label("Pushessent"), "Sent: 0");
    stop();
    EXPECT_TRUE(eventually([&] { return status() == "Stopped"; }));
}

// Among phones that take the file, decline it and drop the link, the window alone tells which
// got it and why the others did not, and the saved log says the same in its last column.
TEST_F(WindowPass, EveryRowSaysWhyItsPhoneGotTheFileOrNot) {
    open(engine::kQuick);
    start();
    ASSERT_TRUE(
        eventually([&] { return label("Passphase").startsWith(QStringLiteral("Pass finished")); }));
    const auto details = detailsByName();
    EXPECT_EQ(details.at("Strict"), "Sent");
    EXPECT_EQ(details.at("Plain"), "Sent");
    EXPECT_EQ(details.at("Declines"), "Declined on the phone (0xC3)");
    EXPECT_TRUE(details.at("Drops").startsWith(QStringLiteral("Connection lost after ")))
        << details.at("Drops").toStdString();
    EXPECT_EQ(label("Passphase"), "Pass finished: 2 sent, 2 not sent");
    stop();
    ASSERT_TRUE(eventually([&] { return status() == "Stopped"; }));

    const QString log = QString::fromStdString((files.path / "log").string());
    replies.logFile = {log};
    control<QAction>("Jmenuitemsavelog").trigger();
    QFile saved(log + QStringLiteral(".csv"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const auto lines = saved.readAll().split('\n');
    EXPECT_EQ(lines.front(), "BLUETOOTH NAME,BLUETOOTH ADDRESS,DATE/TIME,SENT,DETAIL");
    bool declinedLine = false;
    for (const auto& line : lines) {
        declinedLine |= line.startsWith("Declines,001234560003,") &&
                        line.endsWith(",false,Declined on the phone (0xC3)");
    }
    EXPECT_TRUE(declinedLine) << lines.join('\n').toStdString();
    EXPECT_EQ(window->passStatus().currentMessage(),
              QStringLiteral("Log saved to ") + log + QStringLiteral(".csv"));
}

// The window goes while pushes wait for their phones' owners: it takes them down with it at
// once, before its table, instead of waiting out the OBEX time limit.
TEST_F(WindowPass, AWindowThatGoesEndsItsPushesFirst) {
    GatedNeighbourhood phones(3);
    open(engine::kQuick);
    start();
    ASSERT_TRUE(phones.owners.waitForArrivals(3));
    const auto began = std::chrono::steady_clock::now();
    window.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(60));
}

}  // namespace
}  // namespace flarecast::ui
