#include "app/ui/PassStatusBar.h"

#include <algorithm>

namespace flarecast::ui {

namespace {

constexpr int kInquiryBarSteps = 1000;
constexpr std::chrono::milliseconds kInquiryTick{200};

QString phaseName(engine::PassPhase phase) {
    switch (phase) {
        case engine::PassPhase::Inquiring:
            return QStringLiteral("Inquiring");
        case engine::PassPhase::Searching:
            return QStringLiteral("Searching");
        case engine::PassPhase::Pushing:
            return QStringLiteral("Pushing");
        case engine::PassPhase::Finished:
            break;
    }
    return {};
}

QString counted(const char* what, std::size_t count) {
    return QString::fromLatin1(what) + QStringLiteral(": ") + QString::number(count);
}

}  // namespace

QString passFinishedText(std::size_t sent, std::size_t notSent) {
    return QStringLiteral("Pass finished: %1 sent, %2 not sent").arg(sent).arg(notSent);
}

PassStatusBar::PassStatusBar(QWidget* parent) : QStatusBar(parent) {
    setObjectName(QStringLiteral("Passstatus"));
    inquiry.setObjectName(QStringLiteral("Inquiryprogress"));
    inquiry.setAccessibleName(QStringLiteral("Inquiry"));
    inquiry.setRange(0, kInquiryBarSteps);
    inquiry.setTextVisible(false);
    inquiry.setMaximumWidth(120);
    inquiry.hide();
    phase.setObjectName(QStringLiteral("Passphase"));
    found.setObjectName(QStringLiteral("Devicesfound"));
    offering.setObjectName(QStringLiteral("Devicesoffering"));
    running.setObjectName(QStringLiteral("Pushesrunning"));
    sent.setObjectName(QStringLiteral("Pushessent"));
    notSent.setObjectName(QStringLiteral("Pushesnotsent"));
    phaseLine.setContentsMargins(0, 0, 0, 0);
    phaseLine.addWidget(&phase);
    phaseLine.addWidget(&inquiry);
    phaseLine.addStretch();
    countLine.setContentsMargins(0, 0, 0, 0);
    countLine.setSpacing(12);
    for (QLabel* count : {&found, &offering, &running, &sent, &notSent}) {
        countLine.addWidget(count);
        count->hide();
    }
    countLine.addStretch();
    lineLayout.setContentsMargins(0, 0, 0, 0);
    lineLayout.setSpacing(2);
    lineLayout.addLayout(&phaseLine);
    lineLayout.addLayout(&countLine);
    lines.setLayout(&lineLayout);
    // Room for both lines from the start, so that the window does not grow at the first pass.
    lines.setMinimumHeight(2 * fontMetrics().height() + lineLayout.spacing());
    addWidget(&lines, 1);
    inquiryTicks.setInterval(kInquiryTick);
    connect(&inquiryTicks, &QTimer::timeout, this, [this] { showInquiryProgress(); });
}

void PassStatusBar::changed(const engine::PassState& now) {
    // Queued even on the GUI thread, so that a later state cannot overtake an earlier one.
    QMetaObject::invokeMethod(
        this, [this, now] { show(now); }, Qt::QueuedConnection);
}

void PassStatusBar::begin() {
    clearMessage();
    show(engine::PassState{});
    // Until the engine says what it does.
    phase.setText(QStringLiteral("Starting"));
}

void PassStatusBar::stopped() {
    inquiryTicks.stop();
    inquiry.hide();
    // A pass that finished on its own keeps saying how it went.
    if (last.phase != engine::PassPhase::Finished) {
        phase.setText(QStringLiteral("Stopped"));
    }
}

void PassStatusBar::show(const engine::PassState& now) {
    last = now;
    found.setText(counted("Found", now.found));
    offering.setText(counted("Object Push", now.offering));
    running.setText(counted("Pushing", now.running));
    sent.setText(counted("Sent", now.sent));
    notSent.setText(counted("Not sent", now.notSent));
    for (QLabel* count : {&found, &offering, &running, &sent, &notSent}) {
        count->show();
    }
    if (now.phase == engine::PassPhase::Finished) {
        inquiryTicks.stop();
        inquiry.hide();
        phase.setText(passFinishedText(now.sent, now.notSent));
        emit passFinished(static_cast<int>(now.sent), static_cast<int>(now.notSent));
        return;
    }
    phase.setText(phaseName(now.phase));
    if (now.phase == engine::PassPhase::Inquiring && now.inquiryLength.count() > 0) {
        inquiry.show();
        showInquiryProgress();
        inquiryTicks.start();
    } else {
        inquiryTicks.stop();
        inquiry.hide();
    }
}

void PassStatusBar::showInquiryProgress() {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - last.inquiryBegan);
    const auto length = std::max(last.inquiryLength, std::chrono::milliseconds(1));
    const auto step = std::clamp<long long>(elapsed.count() * kInquiryBarSteps / length.count(), 0,
                                            kInquiryBarSteps);
    inquiry.setValue(static_cast<int>(step));
}

}  // namespace flarecast::ui
