#pragma once

#include <QFileDialog>

#include "app/ui/FileDialogs.h"
#include "app/ui/FileFilter.h"

namespace flarecast::ui {

// The real dialogs. Each is created once and reused, so it reopens in the folder used last.
class QtFileDialogs final : public FileDialogs {
public:
    explicit QtFileDialogs(QWidget* parent);

    std::optional<QString> chooseFileToSend() override;
    std::optional<QString> chooseLogFile() override;

private:
    // Outlive the dialogs, whose proxy models read them.
    Videofilter videofilter;
    Savefilter savefilter;
    QFileDialog fileopen;
    QFileDialog filesave;
};

}  // namespace flarecast::ui
