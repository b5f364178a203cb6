#include "app/ui/CampaignRulesDialog.h"

#include <QPushButton>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <tuple>

#include "app/ui/RulesSettings.h"

namespace flarecast::ui {

namespace {

using namespace std::chrono_literals;

// The major classes a device may name, in the order the list shows them.
constexpr std::array<int, 11> kMajorClasses = {2, 1, 4, 7, 5, 6, 3, 8, 9, 0, 31};
constexpr std::array<const char*, 7> kDayNames = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
constexpr std::array<const char*, 7> kDayFullNames = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                                      "Friday", "Saturday", "Sunday"};
constexpr int kMaxHours = 366 * 24;

int wholeHours(std::chrono::minutes window) {
    return static_cast<int>((window.count() + 59) / 60);
}

QStringList linesOf(const QPlainTextEdit& field) {
    QStringList lines = field.toPlainText().split(QLatin1Char('\n'));
    for (QString& line : lines) {
        line = line.trimmed();
    }
    return lines;
}

QString joined(const std::vector<std::string>& first, const std::vector<std::string>& second) {
    QStringList lines;
    for (const auto* items : {&first, &second}) {
        for (const auto& item : *items) {
            lines.push_back(QString::fromStdString(item));
        }
    }
    return lines.join(QLatin1Char('\n'));
}

// The addresses and maker prefixes of a field, or the first line that is neither.
std::variant<campaign::DeviceList, QString> addressesOf(const QPlainTextEdit& field,
                                                        const QString& listName) {
    campaign::DeviceList list;
    const QStringList lines = linesOf(field);
    for (qsizetype at = 0; at < lines.size(); ++at) {
        if (lines[at].isEmpty()) {
            continue;
        }
        const auto normal = campaign::normalAddress(lines[at].toStdString());
        if (!normal) {
            return QStringLiteral(
                       "%1, line %2: \u201c%3\u201d is neither an address "
                       "(12 hex digits) nor a maker prefix (6 hex digits).")
                .arg(listName)
                .arg(at + 1)
                .arg(lines[at]);
        }
        (normal->size() == 12 ? list.addresses : list.prefixes).push_back(*normal);
    }
    return list;
}

std::vector<std::string> namesOf(const QPlainTextEdit& field) {
    std::vector<std::string> names;
    for (const QString& line : linesOf(field)) {
        if (!line.isEmpty()) {
            names.push_back(line.toStdString());
        }
    }
    return names;
}

void setUpSpinBox(QSpinBox& box, int least, int most, const QString& suffix,
                  const QString& accessibleName) {
    box.setRange(least, most);
    box.setSuffix(suffix);
    box.setAccessibleName(accessibleName);
}

void setUpTextField(QPlainTextEdit& field, QLabel& label, const QString& text,
                    const QString& accessibleName) {
    label.setText(text);
    label.setBuddy(&field);
    field.setAccessibleName(accessibleName);
    field.setTabChangesFocus(true);
    field.setLineWrapMode(QPlainTextEdit::NoWrap);
    field.setFixedHeight(field.fontMetrics().lineSpacing() * 4 + 12);
}

}  // namespace

CampaignRulesDialog::CampaignRulesDialog(QWidget* owner) : QDialog(owner) {
    initComponents();
}

void CampaignRulesDialog::ruleBox(QCheckBox& box, const QString& text,
                                  std::vector<QWidget*> fields) {
    box.setText(text);
    connect(&box, &QCheckBox::toggled, this, [this] { enableFields(); });
    ruleFields.push_back({&box, std::move(fields)});
}

void CampaignRulesDialog::initComponents() {
    setWindowTitle(QStringLiteral("Campaign Rules"));
    for (auto [object, name] : std::initializer_list<std::pair<QObject*, const char*>>{
             {&Repeatbox, "Repeatbox"},
             {&Passpause, "Passpause"},
             {&Pushpausebox, "Pushpausebox"},
             {&Pushpause, "Pushpause"},
             {&Servewhileinquiringbox, "Servewhileinquiringbox"},
             {&Acceptedwindowbox, "Acceptedwindowbox"},
             {&Acceptedwindow, "Acceptedwindow"},
             {&Declinedwindowbox, "Declinedwindowbox"},
             {&Declinedwindow, "Declinedwindow"},
             {&Retrybox, "Retrybox"},
             {&Retrytimes, "Retrytimes"},
             {&Retrydelay, "Retrydelay"},
             {&Hoursbox, "Hoursbox"},
             {&Hoursfrom, "Hoursfrom"},
             {&Hoursto, "Hoursto"},
             {&Majorclassesbox, "Majorclassesbox"},
             {&Majorclasses, "Majorclasses"},
             {&Allowbox, "Allowbox"},
             {&Allowaddresses, "Allowaddresses"},
             {&Allownames, "Allownames"},
             {&Blockbox, "Blockbox"},
             {&Blockaddresses, "Blockaddresses"},
             {&Blocknames, "Blocknames"},
             {&Problem, "Problem"}}) {
        object->setObjectName(QString::fromLatin1(name));
    }

    // Passes: how often, and how fast.
    passes.setTitle(QStringLiteral("Passes"));
    setUpSpinBox(Passpause, 0, 24 * 3600, QStringLiteral(" s"),
                 QStringLiteral("Pause between passes"));
    Pushpause.setRange(0, 600);
    Pushpause.setDecimals(1);
    Pushpause.setSingleStep(0.5);
    Pushpause.setSuffix(QStringLiteral(" s"));
    Pushpause.setAccessibleName(QStringLiteral("Pause between push starts"));
    passesGrid.addWidget(&Repeatbox, 0, 0);
    passesGrid.addWidget(&Passpause, 0, 1);
    passesGrid.addWidget(&Pushpausebox, 1, 0);
    passesGrid.addWidget(&Pushpause, 1, 1);
    passesGrid.addWidget(&Servewhileinquiringbox, 2, 0, 1, 2);
    passesGrid.setColumnStretch(2, 1);
    passes.setLayout(&passesGrid);

    // Who is pushed again, and when.
    again.setTitle(QStringLiteral("Pushing a device again"));
    setUpSpinBox(Acceptedwindow, 1, kMaxHours, QStringLiteral(" h"),
                 QStringLiteral("No push again after an accept within"));
    setUpSpinBox(Declinedwindow, 1, kMaxHours, QStringLiteral(" h"),
                 QStringLiteral("No push again after a decline within"));
    setUpSpinBox(Retrytimes, 1, 100, QStringLiteral(" times"),
                 QStringLiteral("Radio failure retries"));
    setUpSpinBox(Retrydelay, 0, 24 * 60, QStringLiteral(" min"),
                 QStringLiteral("Delay before a retry"));
    retryTimesLabel.setText(QStringLiteral("up to"));
    retryTimesLabel.setBuddy(&Retrytimes);
    retryDelayLabel.setText(QStringLiteral("every"));
    retryDelayLabel.setBuddy(&Retrydelay);
    againGrid.addWidget(&Acceptedwindowbox, 0, 0);
    againGrid.addWidget(&Acceptedwindow, 0, 2);
    againGrid.addWidget(&Declinedwindowbox, 1, 0);
    againGrid.addWidget(&Declinedwindow, 1, 2);
    againGrid.addWidget(&Retrybox, 2, 0);
    againGrid.addWidget(&retryTimesLabel, 2, 1, Qt::AlignRight);
    againGrid.addWidget(&Retrytimes, 2, 2);
    againGrid.addWidget(&retryDelayLabel, 3, 1, Qt::AlignRight);
    againGrid.addWidget(&Retrydelay, 3, 2);
    againGrid.setColumnStretch(3, 1);
    again.setLayout(&againGrid);

    // When the campaign pushes.
    when.setTitle(QStringLiteral("When"));
    setUpSpinBox(Hoursfrom, 0, 23, QStringLiteral(":00"), QStringLiteral("From hour"));
    setUpSpinBox(Hoursto, 0, 23, QStringLiteral(":00"), QStringLiteral("To hour"));
    hoursToLabel.setText(QStringLiteral("to"));
    hoursToLabel.setBuddy(&Hoursto);
    hoursRow.addWidget(&Hoursfrom);
    hoursRow.addWidget(&hoursToLabel);
    hoursRow.addWidget(&Hoursto);
    hoursRow.addStretch();
    std::vector<QWidget*> hoursFields = {&Hoursfrom, &hoursToLabel, &Hoursto};
    for (std::size_t day = 0; day < days.size(); ++day) {
        days[day].setText(QString::fromLatin1(kDayNames[day]));
        days[day].setAccessibleName(QString::fromLatin1(kDayFullNames[day]));
        days[day].setObjectName(QStringLiteral("Day") + QString::fromLatin1(kDayNames[day]));
        daysRow.addWidget(&days[day]);
        hoursFields.push_back(&days[day]);
    }
    daysRow.addStretch();
    whenGrid.addWidget(&Hoursbox, 0, 0);
    whenGrid.addLayout(&hoursRow, 0, 1);
    whenGrid.addLayout(&daysRow, 1, 0, 1, 2);
    whenGrid.setColumnStretch(1, 1);
    when.setLayout(&whenGrid);

    // Which devices are pushed at all.
    which.setTitle(QStringLiteral("Devices"));
    Majorclasses.setAccessibleName(QStringLiteral("Kinds of device"));
    for (const int major : kMajorClasses) {
        // The list owns its items.
        Majorclasses.addItem(QString::fromStdString(campaign::majorClassName(major)));
        QListWidgetItem* const item = Majorclasses.item(Majorclasses.count() - 1);
        item->setData(Qt::UserRole, major);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    // Every kind in sight at once, in rows across the list.
    Majorclasses.setFlow(QListView::LeftToRight);
    Majorclasses.setWrapping(true);
    Majorclasses.setResizeMode(QListView::Adjust);
    Majorclasses.setUniformItemSizes(true);
    int widest = 0;
    for (int row = 0; row < Majorclasses.count(); ++row) {
        widest = std::max(
            widest, Majorclasses.sizeHintForIndex(Majorclasses.model()->index(row, 0)).width());
    }
    Majorclasses.setGridSize(QSize(widest + 12, Majorclasses.sizeHintForRow(0) + 4));
    Majorclasses.setFixedHeight(Majorclasses.gridSize().height() * 4 +
                                2 * Majorclasses.frameWidth());
    const QString addressesText = QStringLiteral("Addresses or maker prefixes, one a line:");
    const QString namesText = QStringLiteral("Names, one a line (* and ? match any):");
    setUpTextField(Allowaddresses, allowAddressesLabel, addressesText,
                   QStringLiteral("Allowed addresses or maker prefixes"));
    setUpTextField(Allownames, allowNamesLabel, namesText, QStringLiteral("Allowed names"));
    setUpTextField(Blockaddresses, blockAddressesLabel, addressesText,
                   QStringLiteral("Blocked addresses or maker prefixes"));
    setUpTextField(Blocknames, blockNamesLabel, namesText, QStringLiteral("Blocked names"));
    whichGrid.addWidget(&Majorclassesbox, 0, 0, 1, 2);
    whichGrid.addWidget(&Majorclasses, 1, 0, 1, 2);
    whichGrid.addWidget(&Allowbox, 2, 0, 1, 2);
    whichGrid.addWidget(&allowAddressesLabel, 3, 0);
    whichGrid.addWidget(&allowNamesLabel, 3, 1);
    whichGrid.addWidget(&Allowaddresses, 4, 0);
    whichGrid.addWidget(&Allownames, 4, 1);
    whichGrid.addWidget(&Blockbox, 5, 0, 1, 2);
    whichGrid.addWidget(&blockAddressesLabel, 6, 0);
    whichGrid.addWidget(&blockNamesLabel, 6, 1);
    whichGrid.addWidget(&Blockaddresses, 7, 0);
    whichGrid.addWidget(&Blocknames, 7, 1);
    which.setLayout(&whichGrid);

    ruleBox(Repeatbox, QStringLiteral("Repeat passes until Stop, pausing"), {&Passpause});
    ruleBox(Pushpausebox, QStringLiteral("Pause between push starts"), {&Pushpause});
    ruleBox(Servewhileinquiringbox,
            QStringLiteral("Push to each device as soon as the inquiry finds it"), {});
    ruleBox(Acceptedwindowbox, QStringLiteral("Not again after it accepted, within"),
            {&Acceptedwindow});
    ruleBox(Declinedwindowbox, QStringLiteral("Not again after it declined, within"),
            {&Declinedwindow});
    ruleBox(Retrybox, QStringLiteral("Try again after a radio failure"),
            {&retryTimesLabel, &Retrytimes, &retryDelayLabel, &Retrydelay});
    ruleBox(Hoursbox, QStringLiteral("Only from"), std::move(hoursFields));
    ruleBox(Majorclassesbox, QStringLiteral("Only these kinds of device:"), {&Majorclasses});
    ruleBox(Allowbox, QStringLiteral("Only these devices"),
            {&allowAddressesLabel, &Allowaddresses, &allowNamesLabel, &Allownames});
    ruleBox(Blockbox, QStringLiteral("Never these devices"),
            {&blockAddressesLabel, &Blockaddresses, &blockNamesLabel, &Blocknames});

    // Repeating brings the windows after an answer along, at their default unless set.
    connect(&Repeatbox, &QCheckBox::clicked, this, [this](bool on) {
        if (on && !Acceptedwindowbox.isChecked()) {
            Acceptedwindowbox.setChecked(true);
        }
        if (on && !Declinedwindowbox.isChecked()) {
            Declinedwindowbox.setChecked(true);
        }
    });
    // A list of kinds starts with phones, the usual aim.
    connect(&Majorclassesbox, &QCheckBox::clicked, this, [this](bool on) {
        for (int row = 0; on && row < Majorclasses.count(); ++row) {
            if (Majorclasses.item(row)->checkState() == Qt::Checked) {
                return;
            }
        }
        for (int row = 0; on && row < Majorclasses.count(); ++row) {
            if (Majorclasses.item(row)->data(Qt::UserRole).toInt() == campaign::kMajorPhone) {
                Majorclasses.item(row)->setCheckState(Qt::Checked);
            }
        }
    });

    Problem.setWordWrap(true);
    Problem.setAccessibleName(QStringLiteral("Problem"));
    QPalette problemPalette = Problem.palette();
    problemPalette.setColor(QPalette::WindowText, QColor(0xb0, 0x00, 0x20));
    Problem.setPalette(problemPalette);
    Problem.hide();

    buttons.setStandardButtons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons.setObjectName(QStringLiteral("Rulesbuttons"));
    connect(&buttons, &QDialogButtonBox::accepted, this, &CampaignRulesDialog::accept);
    connect(&buttons, &QDialogButtonBox::rejected, this, &CampaignRulesDialog::reject);

    leftColumn.addWidget(&passes);
    leftColumn.addWidget(&again);
    leftColumn.addWidget(&when);
    leftColumn.addStretch();
    rightColumn.addWidget(&which);
    rightColumn.addStretch();
    columns.addLayout(&leftColumn);
    columns.addLayout(&rightColumn);
    rows.addLayout(&columns);
    rows.addWidget(&Problem);
    rows.addWidget(&buttons);
    setLayout(&rows);
    enableFields();
}

void CampaignRulesDialog::enableFields() {
    for (const Rule& rule : ruleFields) {
        for (QWidget* field : rule.fields) {
            field->setEnabled(rule.box->isChecked());
        }
    }
}

void CampaignRulesDialog::load(QSettings& settings) {
    const campaign::Rules on = loadRules(settings);
    const campaign::Rules values = loadRuleValues(settings);

    Repeatbox.setChecked(on.repeat);
    Passpause.setValue(static_cast<int>(values.passPause.count()));
    Pushpausebox.setChecked(on.pushPause.has_value());
    Pushpause.setValue(static_cast<double>(values.pushPause->count()) / 1000.0);
    Servewhileinquiringbox.setChecked(on.serveWhileInquiring);

    const auto acceptedInForce = on.acceptedWindowInForce();
    Acceptedwindowbox.setChecked(acceptedInForce && acceptedInForce->count() > 0);
    Acceptedwindow.setValue(wholeHours(acceptedInForce && acceptedInForce->count() > 0
                                           ? *acceptedInForce
                                           : *values.acceptedWindow));
    const auto declinedInForce = on.declinedWindowInForce();
    Declinedwindowbox.setChecked(declinedInForce && declinedInForce->count() > 0);
    Declinedwindow.setValue(wholeHours(declinedInForce && declinedInForce->count() > 0
                                           ? *declinedInForce
                                           : *values.declinedWindow));
    Retrybox.setChecked(on.retry.has_value());
    Retrytimes.setValue(values.retry->times);
    Retrydelay.setValue(static_cast<int>(values.retry->delay.count()));

    Hoursbox.setChecked(on.hours.has_value());
    Hoursfrom.setValue(values.hours->from);
    Hoursto.setValue(values.hours->to);
    for (std::size_t day = 0; day < days.size(); ++day) {
        days[day].setChecked(values.hours->days[day]);
    }

    Majorclassesbox.setChecked(on.majorClasses.has_value());
    for (int row = 0; row < Majorclasses.count(); ++row) {
        QListWidgetItem& item = *Majorclasses.item(row);
        item.setCheckState(values.majorClasses->contains(item.data(Qt::UserRole).toInt())
                               ? Qt::Checked
                               : Qt::Unchecked);
    }
    Allowbox.setChecked(!on.allow.empty());
    Allowaddresses.setPlainText(joined(values.allow.addresses, values.allow.prefixes));
    Allownames.setPlainText(joined(values.allow.names, {}));
    Blockbox.setChecked(!on.block.empty());
    Blockaddresses.setPlainText(joined(values.block.addresses, values.block.prefixes));
    Blocknames.setPlainText(joined(values.block.names, {}));

    Problem.hide();
    enableFields();
}

std::variant<campaign::Rules, QString> CampaignRulesDialog::rules() const {
    auto form = read();
    if (auto* problem = std::get_if<FormProblem>(&form)) {
        return problem->text;
    }
    return std::get<campaign::Rules>(std::move(form));
}

std::variant<campaign::Rules, CampaignRulesDialog::FormProblem> CampaignRulesDialog::read() const {
    campaign::Rules rules;
    rules.repeat = Repeatbox.isChecked();
    rules.passPause = std::chrono::seconds(Passpause.value());
    if (Pushpausebox.isChecked()) {
        rules.pushPause = std::chrono::milliseconds(std::lround(Pushpause.value() * 1000.0));
    }
    rules.serveWhileInquiring = Servewhileinquiringbox.isChecked();
    if (Acceptedwindowbox.isChecked()) {
        rules.acceptedWindow = std::chrono::hours(Acceptedwindow.value());
    } else if (rules.repeat) {
        // Said off, so that repeating does not bring its default.
        rules.acceptedWindow = 0min;
    }
    if (Declinedwindowbox.isChecked()) {
        rules.declinedWindow = std::chrono::hours(Declinedwindow.value());
    } else if (rules.repeat) {
        rules.declinedWindow = 0min;
    }
    if (Retrybox.isChecked()) {
        rules.retry = campaign::Retry{Retrytimes.value(), std::chrono::minutes(Retrydelay.value())};
    }
    if (Hoursbox.isChecked()) {
        campaign::Hours hours;
        hours.from = Hoursfrom.value();
        hours.to = Hoursto.value();
        bool anyDay = false;
        for (std::size_t day = 0; day < days.size(); ++day) {
            hours.days[day] = days[day].isChecked();
            anyDay |= hours.days[day];
        }
        if (!anyDay) {
            return FormProblem{QStringLiteral("Hours: choose at least one day of the week."),
                               &days.front()};
        }
        rules.hours = hours;
    }
    if (Majorclassesbox.isChecked()) {
        std::set<int> classes;
        for (int row = 0; row < Majorclasses.count(); ++row) {
            if (Majorclasses.item(row)->checkState() == Qt::Checked) {
                classes.insert(Majorclasses.item(row)->data(Qt::UserRole).toInt());
            }
        }
        if (classes.empty()) {
            return FormProblem{QStringLiteral("Kinds of device: choose at least one."),
                               &Majorclasses};
        }
        rules.majorClasses = std::move(classes);
    }
    for (auto [box, addresses, names, name, list] :
         {std::tuple{&Allowbox, &Allowaddresses, &Allownames, QStringLiteral("Only these devices"),
                     &rules.allow},
          std::tuple{&Blockbox, &Blockaddresses, &Blocknames, QStringLiteral("Never these devices"),
                     &rules.block}}) {
        if (!box->isChecked()) {
            continue;
        }
        auto parsed = addressesOf(*addresses, name);
        if (const QString* problem = std::get_if<QString>(&parsed)) {
            return FormProblem{*problem, addresses};
        }
        *list = std::get<campaign::DeviceList>(std::move(parsed));
        list->names = namesOf(*names);
    }
    return rules;
}

void CampaignRulesDialog::accept() {
    const auto form = read();
    if (const FormProblem* problem = std::get_if<FormProblem>(&form)) {
        Problem.setText(problem->text);
        Problem.show();
        // One of this dialog's own fields.
        const_cast<QWidget*>(problem->field)->setFocus();
        return;
    }
    QSettings settings;
    saveRules(settings, std::get<campaign::Rules>(form));
    Problem.hide();
    QDialog::accept();
}

}  // namespace flarecast::ui
