#pragma once

#include <QString>
#include <deque>
#include <optional>
#include <utility>
#include <vector>

#include "app/ui/FileDialogs.h"

namespace flarecast::ui {

// Answers the window's file dialogs from queued replies; an empty reply, or none left, is a
// cancel.
class ScriptedDialogs final : public FileDialogs {
public:
    struct Replies {
        std::deque<QString> fileToSend;
        std::deque<QString> logFile;
        // What the window reported as failed, title and text.
        std::vector<std::pair<QString, QString>> failures;
    };

    explicit ScriptedDialogs(Replies& replies) : replies(replies) {}

    std::optional<QString> chooseFileToSend() override { return next(replies.fileToSend); }
    std::optional<QString> chooseLogFile() override { return next(replies.logFile); }
    void reportFailure(const QString& title, const QString& text) override {
        replies.failures.emplace_back(title, text);
    }

private:
    static std::optional<QString> next(std::deque<QString>& queue) {
        if (queue.empty()) {
            return std::nullopt;
        }
        const QString reply = queue.front();
        queue.pop_front();
        if (reply.isEmpty()) {
            return std::nullopt;
        }
        return reply;
    }

    Replies& replies;
};

}  // namespace flarecast::ui
