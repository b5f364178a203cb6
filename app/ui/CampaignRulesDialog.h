#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSettings>
#include <QSpinBox>
#include <QVBoxLayout>
#include <array>
#include <variant>
#include <vector>

#include "app/campaign/Rules.h"

namespace flarecast::ui {

// The campaign's rules as a form: each rule a check box that turns it on and enables its fields.
// OK keeps the rules in the settings; Cancel forgets what was changed. Fields carry object names
// and accessible names, so that tests and screen readers find them.
class CampaignRulesDialog final : public QDialog {
    Q_OBJECT

public:
    explicit CampaignRulesDialog(QWidget* owner = nullptr);

    // Fills the form from the settings: the rules that are on, and the last values of those
    // that are off.
    void load(QSettings& settings);
    // The rules the form says, or what is wrong with it, in a sentence.
    std::variant<campaign::Rules, QString> rules() const;

    // Keeps the rules in the program's settings and closes, unless the form is wrong: then it
    // says why and stays open.
    void accept() override;

private:
    // A rule's check box and the fields it enables.
    struct Rule {
        QCheckBox* box;
        std::vector<QWidget*> fields;
    };

    // What is wrong with the form, and the field to correct.
    struct FormProblem {
        QString text;
        const QWidget* field;
    };

    void initComponents();
    void ruleBox(QCheckBox& box, const QString& text, std::vector<QWidget*> fields);
    void enableFields();
    std::variant<campaign::Rules, FormProblem> read() const;

    QVBoxLayout rows;
    QHBoxLayout columns;
    QVBoxLayout leftColumn;
    QVBoxLayout rightColumn;
    QGroupBox passes;
    QGridLayout passesGrid;
    QGroupBox again;
    QGridLayout againGrid;
    QGroupBox when;
    QGridLayout whenGrid;
    QGroupBox which;
    QGridLayout whichGrid;

    QCheckBox Repeatbox;
    QSpinBox Passpause;
    QCheckBox Pushpausebox;
    QDoubleSpinBox Pushpause;
    QCheckBox Servewhileinquiringbox;

    QCheckBox Acceptedwindowbox;
    QSpinBox Acceptedwindow;
    QCheckBox Declinedwindowbox;
    QSpinBox Declinedwindow;
    QCheckBox Retrybox;
    QSpinBox Retrytimes;
    QSpinBox Retrydelay;
    QLabel retryTimesLabel;
    QLabel retryDelayLabel;

    QCheckBox Hoursbox;
    QSpinBox Hoursfrom;
    QSpinBox Hoursto;
    QLabel hoursToLabel;
    QHBoxLayout hoursRow;
    QHBoxLayout daysRow;
    std::array<QCheckBox, 7> days;

    QCheckBox Majorclassesbox;
    QListWidget Majorclasses;
    QCheckBox Allowbox;
    QLabel allowAddressesLabel;
    QPlainTextEdit Allowaddresses;
    QLabel allowNamesLabel;
    QPlainTextEdit Allownames;
    QCheckBox Blockbox;
    QLabel blockAddressesLabel;
    QPlainTextEdit Blockaddresses;
    QLabel blockNamesLabel;
    QPlainTextEdit Blocknames;

    QLabel Problem;
    QDialogButtonBox buttons;
    std::vector<Rule> ruleFields;
};

}  // namespace flarecast::ui
