#include "app/cli/Terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include "app/cli/RowText.h"

namespace flarecast::cli {

namespace {

// Back to the start of the line, and everything to its right erased.
constexpr std::string_view kClearLine = "\r\x1b[K";

const char* phaseName(engine::PassPhase phase) {
    switch (phase) {
        case engine::PassPhase::Inquiring:
            return "inquiring";
        case engine::PassPhase::Searching:
            return "searching";
        case engine::PassPhase::Pushing:
            return "pushing";
        case engine::PassPhase::Finished:
            return "finished";
    }
    return "";
}

// A line longer than the terminal wraps, and \r no longer reaches its start.
std::size_t terminalWidth() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) {
        return size.ws_col - 1U;
    }
    return 79;
}

void put(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

}  // namespace

std::string progressText(int pass, const engine::PassState& state) {
    return "Pass " + std::to_string(pass) + ": " + phaseName(state.phase) + "; " +
           std::to_string(state.found) + " found, " + std::to_string(state.offering) +
           " offering, " + std::to_string(state.running) + " pushing, " +
           std::to_string(state.sent) + " sent, " + std::to_string(state.notSent) + " not sent";
}

Terminal::Terminal(bool progress) : drawing(progress) {}

Terminal::~Terminal() {
    endProgress();
}

void Terminal::out(std::string_view line) {
    write(stdout, line);
}

void Terminal::err(std::string_view line) {
    write(stderr, line);
}

void Terminal::write(std::FILE* stream, std::string_view line) {
    const std::lock_guard guard(lock);
    if (!shown.empty()) {
        put(stderr, kClearLine);
    }
    std::string whole(line);
    whole.push_back('\n');
    put(stream, whole);
    draw();
}

void Terminal::progress(int pass, const engine::PassState& state) {
    const std::lock_guard guard(lock);
    if (!drawing) {
        return;
    }
    shown = printable(progressText(pass, state)).substr(0, terminalWidth());
    draw();
}

void Terminal::endProgress() {
    const std::lock_guard guard(lock);
    if (!shown.empty()) {
        put(stderr, kClearLine);
    }
    shown.clear();
    drawing = false;
}

void Terminal::draw() {
    if (!shown.empty()) {
        put(stderr, std::string(kClearLine) + shown);
    }
}

}  // namespace flarecast::cli
