#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace flarecast::ui {

// The dialogs of the main window, behind a seam so that tests can answer them. Each file dialog
// returns the approved file, or nothing when the operator cancelled or closed the dialog.
class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    virtual std::optional<QString> chooseFileToSend() = 0;
    // A log name that would replace a file has been confirmed by the operator.
    virtual std::optional<QString> chooseLogFile() = 0;
    // Tells the operator that something failed, and waits until it has been read.
    virtual void reportFailure(const QString& title, const QString& text) = 0;
};

}  // namespace flarecast::ui
