#pragma once

#include <QAction>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <QWidget>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/campaign/Campaign.h"
#include "app/campaign/History.h"
#include "app/engine/Pacing.h"
#include "app/engine/PushJobs.h"
#include "app/ui/About.h"
#include "app/ui/CampaignRulesDialog.h"
#include "app/ui/DeviceTableModel.h"
#include "app/ui/FileDialogs.h"
#include "app/ui/HistoryWindow.h"
#include "app/ui/PassStatusBar.h"
#include "bluetooth/io/OwnedThread.h"

namespace flarecast::ui {

// The program's one primary window. Its controls carry their names as object names so that they
// can be found by name.
class Mainwindow final : public QMainWindow, private engine::PassProgress {
    Q_OBJECT

public:
    // Without dialogs the window uses the toolkit's file dialogs; the engine runs at pacing.
    explicit Mainwindow(std::unique_ptr<FileDialogs> dialogs = nullptr, engine::Pacing pacing = {});
    ~Mainwindow() override;

    DeviceTableModel& table() { return mytable; }
    const std::filesystem::path& chosenFile() const { return chosenfile; }
    About& about() { return aboutwindow; }
    CampaignRulesDialog& rules() { return rulesdialog; }
    HistoryWindow& historyWindow() { return historywindow; }
    const engine::PushJobs& pushJobs() const { return pushjobs; }
    const PassStatusBar& passStatus() const { return passstatus; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Keeps the table's last column filling the view as the view changes size.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void initComponents();
    void layoutControls();
    void initTable();
    void endProgram();
    // The same rule whether the file came from the dialog or was dropped on the window.
    void chooseFile(const std::filesystem::path& file);
    void showFilePreview();
    // Grows the columns to what they hold; the last one takes the rest.
    void fitColumns();
    void copySelectedRows();
    void rememberColumnWidths();

    void JmenuitemopenActionPerformed();
    void JmenuitemsavelogActionPerformed();
    void JmenuitemexitActionPerformed();
    void JmenuaboutActionPerformed();
    void JmenuitemrulesActionPerformed();
    void JmenuitemhistoryActionPerformed();
    void StartbluetoothbtnActionPerformed();
    void StopbluetoothbtnActionPerformed();
    // The stopper has seen the campaign end: back to idle.
    void stopped();
    void enableFileMenu(bool enabled);
    // The campaign's passes report here, from the engine's threads; the status bar shows them,
    // and which pass it is when they repeat.
    void changed(const engine::PassState& now) override;

    std::unique_ptr<FileDialogs> dialogs;
    const engine::Pacing pacing;
    About aboutwindow;
    // The history of every campaign the window runs, opened once; none when it cannot be, and
    // then historyProblem says why.
    QString historyProblem;
    std::unique_ptr<campaign::History> history;
    CampaignRulesDialog rulesdialog;
    HistoryWindow historywindow;
    // Declared before the engine, so that the engine is gone before its rows' table and before
    // whatever it reports its progress to.
    DeviceTableModel mytable;
    PassStatusBar passstatus;
    QLabel Passnumber;
    // The program's push jobs, of every worker: their limit holds across Stop and Start.
    engine::PushJobs pushjobs;
    // Start's passes, under the rules saved when it began.
    std::unique_ptr<campaign::Campaign> mycampaign;
    std::unique_ptr<bluetooth::OwnedThread> stopbluetooththread;
    std::filesystem::path chosenfile;

    QWidget central;
    QLineEdit Filename;
    QLabel Filethumbnail;
    QLabel Filesize;
    QLineEdit Statusfield;
    QPushButton Startbluetoothbtn;
    QPushButton Stopbluetoothbtn;
    QTableView Logwindow;
    QLabel jLabel1;
    QLabel jLabel2;
    QLabel jLabel3;

    QMenuBar jMenuBar1;
    QMenu Jmenufile;
    QMenu Jmenucampaign;
    QMenu Jmenuhelp;
    QAction Jmenuitemopen;
    QAction Jmenuitemsavelog;
    QAction Jmenuitemexit;
    QAction Jmenuitemrules;
    QAction Jmenuitemhistory;
    QAction Jmenuabout;
    QAction Copyrows;

    QVBoxLayout rows;
    QHBoxLayout formRow;
    QGridLayout form;
    QVBoxLayout previewColumn;
    QHBoxLayout buttonRow;
    QHBoxLayout logLabelRow;
    QHBoxLayout tableRow;
};

}  // namespace flarecast::ui
