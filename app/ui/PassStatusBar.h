#pragma once

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include "app/engine/PassProgress.h"

namespace flarecast::ui {

// The window's status bar: what the running pass is doing and how far it got, as the engine
// reports it. Its labels read as they look, so that screen readers and tests find them by text.
class PassStatusBar final : public QStatusBar, public engine::PassProgress {
    Q_OBJECT

public:
    explicit PassStatusBar(QWidget* parent = nullptr);

    // Any thread: the state is shown on the GUI thread, in the order reported.
    void changed(const engine::PassState& now) override;

    // A new pass: counts back to zero.
    void begin();
    // The operator stopped the pass; its counts stay.
    void stopped();

signals:
    void passFinished(int sent, int notSent);

private:
    void show(const engine::PassState& now);
    void showInquiryProgress();

    // Two lines, so that a narrow window shows them whole: the phase, then the counts.
    QWidget lines;
    QVBoxLayout lineLayout;
    QHBoxLayout phaseLine;
    QHBoxLayout countLine;
    QLabel phase;
    QProgressBar inquiry;
    QLabel found;
    QLabel offering;
    QLabel running;
    QLabel sent;
    QLabel notSent;
    // Moves the inquiry's bar while nothing is reported.
    QTimer inquiryTicks;
    engine::PassState last;
};

// "Pass finished: 3 sent, 1 not sent".
QString passFinishedText(std::size_t sent, std::size_t notSent);

}  // namespace flarecast::ui
