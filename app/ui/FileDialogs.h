#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace flarecast::ui {

// The two file dialogs of the main window, behind a seam so that tests can answer them.
// Each returns the approved file, or nothing when the operator cancelled or closed the dialog.
class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    virtual std::optional<QString> chooseFileToSend() = 0;
    virtual std::optional<QString> chooseLogFile() = 0;
};

}  // namespace flarecast::ui
