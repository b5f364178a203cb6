#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <vector>

#include "app/ui/DeviceTableModel.h"
#include "app/ui/LogCsv.h"

namespace flarecast::ui {
namespace {

using engine::Logfile;

void fill(DeviceTableModel& table, const std::vector<Logfile>& rows) {
    for (const auto& row : rows) {
        table.append(row);
    }
    QCoreApplication::processEvents();
}

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

struct LineCase {
    Logfile row;
    const char* line;
};

TEST(LogCsv, WritesEachRowAsOneLineThatNoDeviceNameOrDetailCanBreak) {
    const LineCase cases[] = {
        {{"Ada's phone", "00123456789a", "Thursday 10 December 2026 02:00:00", true},
         "Ada's phone,00123456789a,Thursday 10 December 2026 02:00:00,true,"},
        {{"", "00123456789a", "d", false}, ",00123456789a,d,false,"},
        {{}, ",,,false,"},
        {{"Smith, John", "a", "Thursday, 10 December 2026", true},
         "\"Smith, John\",a,\"Thursday, 10 December 2026\",true,"},
        {{"the \"best\" phone", "a", "d", true}, "\"the \"\"best\"\" phone\",a,d,true,"},
        {{"two\nlines", "a", "d", true}, "\"two\nlines\",a,d,true,"},
        {{"cr\rhere", "a", "d", true}, "\"cr\rhere\",a,d,true,"},
        {{"=1+1", "a", "d", true}, "'=1+1,a,d,true,"},
        {{"+1", "-2", "d", true}, "'+1,'-2,d,true,"},
        {{"@SUM(A1)", "a", "d", true}, "'@SUM(A1),a,d,true,"},
        {{"\tcell", "a", "d", true}, "'\tcell,a,d,true,"},
        {{"=a,b", "a", "d", true}, "\"'=a,b\",a,d,true,"},
        {{"a=b", "a", "-5 minutes", true}, "a=b,a,-5 minutes,true,"},
        {{"Zoë's phone ☎", "a", "d", true}, "Zoë's phone ☎,a,d,true,"},
        {{"phone", "a", "d", false, "", "Declined on the phone (0xC3)"},
         "phone,a,d,false,Declined on the phone (0xC3)"},
        {{"phone", "a", "d", false, "", "Refused, then -1"},
         "phone,a,d,false,\"Refused, then -1\""},
        {{"phone", "a", "d", false, "", "=cmd"}, "phone,a,d,false,'=cmd"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(csvLine(c.row).toStdString(), c.line) << c.row.bluetoothname;
    }
}

class LogCsvFile : public testing::Test {
protected:
    QString pathOf(const char* name) const { return folder.filePath(QString::fromLatin1(name)); }

    QTemporaryDir folder;
    DeviceTableModel table;
};

TEST_F(LogCsvFile, EmptyTableGivesTheHeaderAlone) {
    ASSERT_EQ(saveLog(pathOf("empty.csv"), table), std::nullopt);
    EXPECT_EQ(contentsOf(pathOf("empty.csv")),
              "BLUETOOTH NAME,BLUETOOTH ADDRESS,DATE/TIME,SENT,DETAIL\n");
}

TEST_F(LogCsvFile, WritesRowsInTableOrderUnderTheExactNameChosen) {
    fill(table, {{"first", "000000000001", "t1", true, "", "Sent"},
                 {"second", "000000000002", "t2", false, "", "Not reachable"}});
    ASSERT_EQ(saveLog(pathOf("report"), table), std::nullopt);
    EXPECT_EQ(contentsOf(pathOf("report")),
              "BLUETOOTH NAME,BLUETOOTH ADDRESS,DATE/TIME,SENT,DETAIL\n"
              "first,000000000001,t1,true,Sent\n"
              "second,000000000002,t2,false,Not reachable\n");
    EXPECT_FALSE(QFile::exists(pathOf("report.csv")));
}

// The first four columns stay; the adapter that served each row comes before the detail.
TEST_F(LogCsvFile, ALogFromSeveralAdaptersNamesTheAdapterBeforeTheDetail) {
    fill(table, {{"first", "000000000001", "t1", true, "hci0", "Sent"},
                 {"second", "000000000002", "t2", false, "=hci1"}});
    ASSERT_EQ(saveLog(pathOf("two.csv"), table), std::nullopt);
    EXPECT_EQ(contentsOf(pathOf("two.csv")),
              "BLUETOOTH NAME,BLUETOOTH ADDRESS,DATE/TIME,SENT,ADAPTER,DETAIL\n"
              "first,000000000001,t1,true,hci0,Sent\n"
              "second,000000000002,t2,false,'=hci1,\n");
}

TEST_F(LogCsvFile, SavingAgainReplacesTheEarlierFile) {
    fill(table, {{"a", "1", "t", true}, {"b", "2", "t", true}, {"c", "3", "t", true}});
    ASSERT_EQ(saveLog(pathOf("log.csv"), table), std::nullopt);
    DeviceTableModel shorter;
    fill(shorter, {{"z", "9", "t", false}});
    ASSERT_EQ(saveLog(pathOf("log.csv"), shorter), std::nullopt);
    EXPECT_EQ(contentsOf(pathOf("log.csv")),
              "BLUETOOTH NAME,BLUETOOTH ADDRESS,DATE/TIME,SENT,DETAIL\nz,9,t,false,\n");
}

TEST_F(LogCsvFile, UnwritablePlacesAreReportedInOneLineAndLeaveNothing) {
    for (const char* name : {"no/such/folder/log.csv", "."}) {
        const auto error = saveLog(pathOf(name), table);
        ASSERT_TRUE(error.has_value()) << name;
        EXPECT_FALSE(error->isEmpty());
        EXPECT_FALSE(error->contains(QLatin1Char('\n')));
    }
    EXPECT_TRUE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

// Root ignores permissions, so a file-size limit is what makes the write itself fail here.
TEST_F(LogCsvFile, AFailedWriteKeepsTheEarlierFileWhole) {
    {
        QFile earlier(pathOf("log.csv"));
        ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
        earlier.write("earlier log\n");
    }
    std::vector<Logfile> rows(50, Logfile{"a phone with a long name", "00123456789a", "now", true});
    fill(table, rows);

    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previousLimit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previousLimit), 0);
    rlimit small = previousLimit;
    small.rlim_cur = 256;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto error = saveLog(pathOf("log.csv"), table);
    setrlimit(RLIMIT_FSIZE, &previousLimit);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_TRUE(error.has_value());
    EXPECT_EQ(contentsOf(pathOf("log.csv")), "earlier log\n");
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("log.csv")});
}

}  // namespace
}  // namespace flarecast::ui
