#include "app/cli/Terminal.h"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include "app/cli/RowText.h"

namespace flarecast::cli {

namespace {

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
#if defined(_WIN32)
    CONSOLE_SCREEN_BUFFER_INFO console{};
    if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &console)) {
        const int columns = console.srWindow.Right - console.srWindow.Left + 1;
        if (columns > 1) {
            return static_cast<std::size_t>(columns - 1);
        }
    }
#else
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) {
        return size.ws_col - 1U;
    }
#endif
    return 79;
}

// Back to the start of the line, and everything to its right erased. A Windows console takes
// escape sequences only when asked to, so there the line is overwritten with blanks.
std::string clearLine() {
#if defined(_WIN32)
    return "\r" + std::string(terminalWidth(), ' ') + "\r";
#else
    return "\r\x1b[K";
#endif
}

void put(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

}  // namespace

bool isTerminal(std::FILE* stream) {
#if defined(_WIN32)
    return ::_isatty(::_fileno(stream)) != 0;
#else
    return ::isatty(::fileno(stream)) == 1;
#endif
}

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
        put(stderr, clearLine());
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
        put(stderr, clearLine());
    }
    shown.clear();
    drawing = false;
}

void Terminal::draw() {
    if (!shown.empty()) {
        put(stderr, clearLine() + shown);
    }
}

}  // namespace flarecast::cli
