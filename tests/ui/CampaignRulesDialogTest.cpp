// The rules form over the settings: what it shows of them, what OK keeps, what Cancel forgets,
// and a list line that is no address.

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "WindowControls.h"
#include "app/ui/CampaignRulesDialog.h"
#include "app/ui/RulesSettings.h"

namespace flarecast::ui {

using namespace std::chrono_literals;

class CampaignRulesDialogTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir settingsFolder;
    std::unique_ptr<CampaignRulesDialog> dialog;

    template <typename T>
    T& field(const char* name) {
        return controlOf<T>(*dialog, name);
    }
    QCheckBox& box(const char* name) { return field<QCheckBox>(name); }
    void press(QDialogButtonBox::StandardButton button) {
        field<QDialogButtonBox>("Rulesbuttons").button(button)->click();
    }
    void open() {
        QSettings settings;
        dialog->load(settings);
        dialog->open();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    }
    campaign::Rules saved() {
        QSettings settings;
        return loadRules(settings);
    }
    QListWidgetItem* kind(const QString& name) {
        const auto found = field<QListWidget>("Majorclasses").findItems(name, Qt::MatchExactly);
        return found.isEmpty() ? nullptr : found.front();
    }

private slots:
    void initTestCase() {
        // Settings of this test's own, whatever else runs beside it.
        QVERIFY(settingsFolder.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
    }

    void init() {
        QSettings().clear();
        dialog = std::make_unique<CampaignRulesDialog>();
    }

    void cleanup() { dialog.reset(); }

    // A first run: every rule off, its fields disabled, and OK keeps it so.
    void startsWithEveryRuleOff() {
        open();
        for (const char* name : {"Repeatbox", "Pushpausebox", "Servewhileinquiringbox",
                                 "Acceptedwindowbox", "Declinedwindowbox", "Retrybox", "Hoursbox",
                                 "Majorclassesbox", "Allowbox", "Blockbox"}) {
            QVERIFY2(!box(name).isChecked(), name);
        }
        for (const char* name : {"Passpause", "Pushpause", "Acceptedwindow", "Declinedwindow",
                                 "Retrytimes", "Retrydelay", "Hoursfrom", "Hoursto", "Majorclasses",
                                 "Allowaddresses", "Allownames", "Blockaddresses", "Blocknames"}) {
            QVERIFY2(!field<QWidget>(name).isEnabled(), name);
            QVERIFY2(!field<QWidget>(name).accessibleName().isEmpty(), name);
        }
        press(QDialogButtonBox::Ok);
        QVERIFY(!dialog->isVisible());
        const campaign::Rules rules = saved();
        QVERIFY(!rules.repeat && !rules.pushPause && !rules.acceptedWindow && !rules.retry &&
                !rules.declinedWindow && !rules.majorClasses && rules.allow.empty() &&
                rules.block.empty() && !rules.hours && !rules.serveWhileInquiring);
    }

    // Repeating brings the windows after an accept and after a decline at their default, and a
    // list of kinds starts with phones.
    void turningRulesOnBringsTheirDefaults() {
        open();
        box("Repeatbox").click();
        QVERIFY(field<QSpinBox>("Passpause").isEnabled());
        QVERIFY(box("Acceptedwindowbox").isChecked());
        QCOMPARE(field<QSpinBox>("Acceptedwindow").value(), 24);
        QVERIFY(box("Declinedwindowbox").isChecked());
        box("Majorclassesbox").click();
        QCOMPARE(kind(QStringLiteral("Phone"))->checkState(), Qt::Checked);
        QCOMPARE(kind(QStringLiteral("Computer"))->checkState(), Qt::Unchecked);
        press(QDialogButtonBox::Ok);
        const campaign::Rules rules = saved();
        QVERIFY(rules.repeat);
        QCOMPARE(rules.passPause, campaign::Rules{}.passPause);
        QCOMPARE(rules.acceptedWindowInForce(), std::optional<std::chrono::minutes>(24h));
        QVERIFY(rules.declinedWindowInForce());
        QCOMPARE(rules.majorClasses, std::optional<std::set<int>>({campaign::kMajorPhone}));

        // Repeating without the windows says them off, rather than leaving them to their
        // default.
        open();
        box("Acceptedwindowbox").click();
        box("Declinedwindowbox").click();
        press(QDialogButtonBox::Ok);
        QCOMPARE(saved().acceptedWindowInForce(), std::nullopt);
        QCOMPARE(saved().acceptedWindow, std::optional<std::chrono::minutes>(0min));
        QCOMPARE(saved().declinedWindowInForce(), std::nullopt);
        QCOMPARE(saved().declinedWindow, std::optional<std::chrono::minutes>(0min));
    }

    // Every field the form has, through OK into the settings and back into the form.
    void okKeepsEveryFieldAndTheFormShowsItAgain() {
        open();
        box("Repeatbox").click();
        field<QSpinBox>("Passpause").setValue(5);
        box("Pushpausebox").click();
        field<QDoubleSpinBox>("Pushpause").setValue(2.5);
        box("Servewhileinquiringbox").click();
        field<QSpinBox>("Acceptedwindow").setValue(12);
        field<QSpinBox>("Declinedwindow").setValue(72);
        box("Retrybox").click();
        field<QSpinBox>("Retrytimes").setValue(4);
        field<QSpinBox>("Retrydelay").setValue(15);
        box("Hoursbox").click();
        field<QSpinBox>("Hoursfrom").setValue(10);
        field<QSpinBox>("Hoursto").setValue(20);
        box("DaySat").click();
        box("DaySun").click();
        box("Majorclassesbox").click();
        kind(QStringLiteral("Imaging"))->setCheckState(Qt::Checked);
        box("Allowbox").click();
        field<QPlainTextEdit>("Allowaddresses").setPlainText("00:12:34:56:00:01\n\n 0012ab \n");
        field<QPlainTextEdit>("Allownames").setPlainText("Ada*");
        box("Blockbox").click();
        field<QPlainTextEdit>("Blockaddresses").setPlainText("00-12-34-56-00-02");
        field<QPlainTextEdit>("Blocknames").setPlainText("*Printer*\nTV ?");
        press(QDialogButtonBox::Ok);
        QVERIFY(!dialog->isVisible());

        const campaign::Rules rules = saved();
        QVERIFY(rules.repeat);
        QCOMPARE(rules.passPause, 5s);
        QCOMPARE(rules.pushPause, std::optional<std::chrono::milliseconds>(2500ms));
        QVERIFY(rules.serveWhileInquiring);
        QCOMPARE(rules.acceptedWindow, std::optional<std::chrono::minutes>(12h));
        QCOMPARE(rules.declinedWindow, std::optional<std::chrono::minutes>(72h));
        QVERIFY(rules.retry);
        QCOMPARE(rules.retry->times, 4);
        QCOMPARE(rules.retry->delay, 15min);
        QVERIFY(rules.hours);
        QCOMPARE(rules.hours->from, 10);
        QCOMPARE(rules.hours->to, 20);
        QVERIFY(
            (rules.hours->days == std::array<bool, 7>{true, true, true, true, true, false, false}));
        QCOMPARE(rules.majorClasses, std::optional<std::set<int>>({2, 6}));
        QCOMPARE(rules.allow.addresses, std::vector<std::string>{"001234560001"});
        QCOMPARE(rules.allow.prefixes, std::vector<std::string>{"0012AB"});
        QCOMPARE(rules.allow.names, std::vector<std::string>{"Ada*"});
        QCOMPARE(rules.block.addresses, std::vector<std::string>{"001234560002"});
        QCOMPARE(rules.block.names, (std::vector<std::string>{"*Printer*", "TV ?"}));

        dialog = std::make_unique<CampaignRulesDialog>();
        open();
        QVERIFY(box("Repeatbox").isChecked());
        QCOMPARE(field<QDoubleSpinBox>("Pushpause").value(), 2.5);
        QCOMPARE(field<QSpinBox>("Declinedwindow").value(), 72);
        QVERIFY(!box("DaySat").isChecked());
        QCOMPARE(kind(QStringLiteral("Imaging"))->checkState(), Qt::Checked);
        QCOMPARE(field<QPlainTextEdit>("Allowaddresses").toPlainText(),
                 QStringLiteral("001234560001\n0012AB"));
        QCOMPARE(field<QPlainTextEdit>("Blocknames").toPlainText(),
                 QStringLiteral("*Printer*\nTV ?"));
        QVERIFY(field<QPlainTextEdit>("Blocknames").isEnabled());
    }

    void cancelForgetsTheChanges() {
        open();
        box("Repeatbox").click();
        box("Blockbox").click();
        field<QPlainTextEdit>("Blockaddresses").setPlainText("001234560002");
        press(QDialogButtonBox::Cancel);
        QVERIFY(!dialog->isVisible());
        QVERIFY(!saved().repeat);
        QVERIFY(saved().block.empty());
        open();
        QVERIFY(!box("Repeatbox").isChecked());
    }

    // A line that is no address says which, and nothing is kept until it is put right.
    void aLineThatIsNoAddressIsNamed() {
        open();
        box("Blockbox").click();
        field<QPlainTextEdit>("Blockaddresses").setPlainText("001234560002\nGrace's phone");
        press(QDialogButtonBox::Ok);
        QVERIFY(dialog->isVisible());
        const QLabel& problem = field<QLabel>("Problem");
        QVERIFY(problem.isVisible());
        QVERIFY2(problem.text().contains(QStringLiteral("Never these devices, line 2")) &&
                     problem.text().contains(QStringLiteral("Grace's phone")),
                 qPrintable(problem.text()));
        QVERIFY(field<QPlainTextEdit>("Blockaddresses").hasFocus());
        QVERIFY(saved().block.empty());

        field<QPlainTextEdit>("Blockaddresses").setPlainText("001234560002");
        field<QPlainTextEdit>("Blocknames").setPlainText("Grace's phone");
        press(QDialogButtonBox::Ok);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(saved().block.names, std::vector<std::string>{"Grace's phone"});
    }
};

}  // namespace flarecast::ui

QTEST_MAIN(flarecast::ui::CampaignRulesDialogTest)
#include "CampaignRulesDialogTest.moc"
