#include "app/ui/QtFileDialogs.h"

#include <QAbstractItemView>
#include <QFileDialog>
#include <memory>

#include "app/ui/FilterProxyModel.h"

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

// Runs the dialog and remembers the folder where it was left.
std::optional<QString> approvedFile(QFileDialog& dialog, QString& folder) {
    const bool approved = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    folder = dialog.directory().absolutePath();
    if (!approved) {
        return std::nullopt;
    }
    return dialog.selectedFiles().front();
}

}  // namespace

void QtFileDialogs::openIn(QFileDialog& dialog, const QString& folder) {
    if (startFolder.isEmpty()) {
        startFolder = dialog.directory().absolutePath();
    }
    dialog.setDirectory(folder.isEmpty() ? startFolder : folder);
}

std::optional<QString> QtFileDialogs::chooseFileToSend() {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    showOnly(dialog, videofilter);
    openIn(dialog, sendFolder);
    return approvedFile(dialog, sendFolder);
}

std::optional<QString> QtFileDialogs::chooseLogFile() {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    showOnly(dialog, savefilter);
    openIn(dialog, logFolder);
    dialog.selectFile(QStringLiteral("*.csv"));
    return approvedFile(dialog, logFolder);
}

}  // namespace flarecast::ui
