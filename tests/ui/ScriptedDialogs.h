#pragma once

#include <QString>
#include <deque>
#include <optional>

#include "app/ui/FileDialogs.h"

namespace flarecast::ui {

// Answers the window's file dialogs from queued replies; an empty queue answers as a cancel.
class ScriptedDialogs final : public FileDialogs {
public:
    struct Replies {
        std::deque<std::optional<QString>> fileToSend;
        std::deque<std::optional<QString>> logFile;
    };

    explicit ScriptedDialogs(Replies& replies) : replies(replies) {}

    std::optional<QString> chooseFileToSend() override { return next(replies.fileToSend); }
    std::optional<QString> chooseLogFile() override { return next(replies.logFile); }

private:
    static std::optional<QString> next(std::deque<std::optional<QString>>& queue) {
        if (queue.empty()) {
            return std::nullopt;
        }
        auto reply = queue.front();
        queue.pop_front();
        return reply;
    }

    Replies& replies;
};

}  // namespace flarecast::ui
