#pragma once

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "app/engine/PassProgress.h"

namespace flarecast::cli {

// The program's two output streams, shared by its threads: whole lines on standard output or
// standard error, and, when standard error is a terminal, a progress line at its bottom that is
// rewritten in place and cleared before any other line is printed.
class Terminal {
public:
    // progress: draw the progress line; only ever for a terminal.
    explicit Terminal(bool progress);
    // Leaves no progress line behind.
    ~Terminal();
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    void out(std::string_view line);
    void err(std::string_view line);
    // Draws the pass's state as the progress line.
    void progress(int pass, const engine::PassState& state);
    // The progress line goes for good; later calls to progress() draw nothing.
    void endProgress();

private:
    void write(std::FILE* stream, std::string_view line);
    void draw();

    std::mutex lock;
    bool drawing;
    std::string shown;
};

bool isTerminal(std::FILE* stream);

// "Pass 2: pushing; 5 found, 3 offering, 1 pushing, 1 sent, 0 not sent".
std::string progressText(int pass, const engine::PassState& state);

// Hands the pass's changes to the terminal, numbered with the campaign's passes.
class ProgressLine final : public engine::PassProgress {
public:
    ProgressLine(Terminal& terminal, std::function<int()> passes)
        : terminal(terminal), passes(std::move(passes)) {}
    void changed(const engine::PassState& now) override { terminal.progress(passes(), now); }

private:
    Terminal& terminal;
    std::function<int()> passes;
};

}  // namespace flarecast::cli
