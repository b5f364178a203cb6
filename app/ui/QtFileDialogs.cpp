#include "app/ui/QtFileDialogs.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>
#include <QStandardPaths>
#include <memory>

#include "app/ui/FilterProxyModel.h"
#include "app/ui/LogCsv.h"

namespace flarecast::ui {

namespace {

// A view keeps the rows it laid out as indexes into the proxy, which frees what they point to
// whenever the file model sorts newly read entries. A view off the screen lays itself out again
// only once shown, yet the accessibility tree reads its rows meanwhile: each view of the proxy is
// laid out again at once.
void relayoutOnLayoutChange(QFileDialog& dialog, QAbstractItemModel& proxy) {
    for (QAbstractItemView* view : dialog.findChildren<QAbstractItemView*>()) {
        if (view->model() == &proxy) {
            QObject::connect(&proxy, &QAbstractItemModel::layoutChanged, view,
                             [view] { view->doItemsLayout(); });
        }
    }
}

// Lists only what the filter accepts, under the filter's description alone.
void showOnly(QFileDialog& dialog, const FileFilter& filter) {
    // Only the toolkit's own dialog takes a proxy model.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilter(QString::fromStdString(filter.getDescription()) + QStringLiteral(" (*)"));
    // The dialog deletes its proxy model, so the model is the dialog's child from the start.
    auto* proxy = std::make_unique<FilterProxyModel>(filter, &dialog).release();
    dialog.setProxyModel(proxy);
    relayoutOnLayoutChange(dialog, *proxy);
}

// The folder remembered under key while it still exists; else the first of the standard places
// that does.
QString folderFor(const QString& key,
                  std::initializer_list<QStandardPaths::StandardLocation> places) {
    const QString remembered = QSettings().value(key).toString();
    if (!remembered.isEmpty() && QDir(remembered).exists()) {
        return remembered;
    }
    for (const auto place : places) {
        const QString folder = QStandardPaths::writableLocation(place);
        if (!folder.isEmpty() && QDir(folder).exists()) {
            return folder;
        }
    }
    return QDir::homePath();
}

const QString kSendFolderKey = QStringLiteral("folders/send");
const QString kLogFolderKey = QStringLiteral("folders/log");

// Runs the dialog and remembers the folder where it was left.
std::optional<QString> approvedFile(QFileDialog& dialog, const QString& key) {
    const bool approved = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    QSettings().setValue(key, dialog.directory().absolutePath());
    if (!approved) {
        return std::nullopt;
    }
    return dialog.selectedFiles().front();
}

}  // namespace

std::optional<QString> QtFileDialogs::chooseFileToSend() {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    showOnly(dialog, videofilter);
    dialog.setDirectory(folderFor(
        kSendFolderKey, {QStandardPaths::PicturesLocation, QStandardPaths::HomeLocation}));
    return approvedFile(dialog, kSendFolderKey);
}

std::optional<QString> QtFileDialogs::chooseLogFile() {
    QString name = proposedLogName();
    for (;;) {
        QFileDialog dialog(parent);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // A typed name without an extension gets ".csv" before the dialog asks about replacing.
        dialog.setDefaultSuffix(QStringLiteral("csv"));
        showOnly(dialog, savefilter);
        dialog.setDirectory(folderFor(
            kLogFolderKey, {QStandardPaths::DocumentsLocation, QStandardPaths::HomeLocation}));
        dialog.selectFile(name);
        const auto approved = approvedFile(dialog, kLogFolderKey);
        if (!approved) {
            return std::nullopt;
        }
        const QString path = withCsvSuffix(*approved);
        if (path == *approved || mayReplace(path)) {
            return path;
        }
        name = QFileInfo(path).fileName();
    }
}

bool QtFileDialogs::mayReplace(const QString& path) {
    const QFileInfo file(path);
    if (!file.exists()) {
        return true;
    }
    return QMessageBox::question(parent, QStringLiteral("Save Log"),
                                 QStringLiteral("%1 already exists.\nDo you want to replace it?")
                                     .arg(file.fileName()),
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void QtFileDialogs::reportFailure(const QString& title, const QString& text) {
    QMessageBox::warning(parent, title, text);
}

}  // namespace flarecast::ui
