#pragma once

#include <QString>

#include "app/ui/FileDialogs.h"
#include "app/ui/FileFilter.h"

class QFileDialog;

namespace flarecast::ui {

// The real dialogs. Each is made for one use and is gone once answered, so that no hidden dialog
// stays in the accessibility tree or leaves its list of completions on the screen. Each reopens
// in the folder where it was last used, also in a later run (the toolkit's settings keep it);
// the first time, the file to send is looked for among the pictures.
class QtFileDialogs final : public FileDialogs {
public:
    explicit QtFileDialogs(QWidget* parent) : parent(parent) {}

    std::optional<QString> chooseFileToSend() override;
    std::optional<QString> chooseLogFile() override;
    void reportFailure(const QString& title, const QString& text) override;

private:
    // Asks before a name the dialog did not check replaces a file; false to choose again.
    bool mayReplace(const QString& path);

    QWidget* parent;
    Videofilter videofilter;
    Savefilter savefilter;
};

}  // namespace flarecast::ui
