#include "app/ui/QtFileDialogs.h"

#include <memory>

#include "app/ui/FilterProxyModel.h"

namespace flarecast::ui {

namespace {

// Lists only what the filter accepts, under the filter's description alone.
void showOnly(QFileDialog& dialog, const FileFilter& filter) {
    // Only the toolkit's own dialog takes a proxy model.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilter(QString::fromStdString(filter.getDescription()) + QStringLiteral(" (*)"));
    // The dialog deletes its proxy model, so the model is the dialog's child from the start.
    dialog.setProxyModel(std::make_unique<FilterProxyModel>(filter, &dialog).release());
}

std::optional<QString> approvedFile(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().front();
}

}  // namespace

QtFileDialogs::QtFileDialogs(QWidget* parent) : fileopen(parent), filesave(parent) {
    fileopen.setAcceptMode(QFileDialog::AcceptOpen);
    fileopen.setFileMode(QFileDialog::ExistingFile);
    showOnly(fileopen, videofilter);

    filesave.setAcceptMode(QFileDialog::AcceptSave);
    filesave.setFileMode(QFileDialog::AnyFile);
    filesave.setOption(QFileDialog::DontConfirmOverwrite);
    showOnly(filesave, savefilter);
}

std::optional<QString> QtFileDialogs::chooseFileToSend() {
    return approvedFile(fileopen);
}

std::optional<QString> QtFileDialogs::chooseLogFile() {
    filesave.selectFile(QStringLiteral("*.csv"));
    return approvedFile(filesave);
}

}  // namespace flarecast::ui
