#pragma once

#include <QString>

#include "app/ui/FileDialogs.h"
#include "app/ui/FileFilter.h"

class QFileDialog;

namespace flarecast::ui {

// The real dialogs. Each is made for one use and is gone once answered, so that no hidden dialog
// stays in the accessibility tree or leaves its list of completions on the screen; each reopens
// in the folder where it was left.
class QtFileDialogs final : public FileDialogs {
public:
    explicit QtFileDialogs(QWidget* parent) : parent(parent) {}

    std::optional<QString> chooseFileToSend() override;
    std::optional<QString> chooseLogFile() override;

private:
    // Opens the dialog in the folder where the last one like it was left.
    void openIn(QFileDialog& dialog, const QString& folder);

    QWidget* parent;
    Videofilter videofilter;
    Savefilter savefilter;
    // Where the toolkit opens a first dialog; both dialogs start there.
    QString startFolder;
    // Where each dialog was left.
    QString sendFolder;
    QString logFolder;
};

}  // namespace flarecast::ui
