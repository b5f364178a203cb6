#include "bluetooth/io/Console.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <utility>

namespace flarecast::bluetooth {

namespace {

// Standard output is one per process, and so is the place that stands in for it.
struct Redirect {
    std::mutex lock;
    std::function<void(std::string_view)> writer;
};

Redirect& redirect() {
    static Redirect instance;
    return instance;
}

}  // namespace

void printLine(std::string_view line) {
    Redirect& to = redirect();
    const std::lock_guard guard(to.lock);
    if (to.writer) {
        to.writer(line);
        return;
    }
    std::string whole;
    whole.reserve(line.size() + 1);
    whole.append(line);
    whole.push_back('\n');
    // One stdio call holds the stream's lock for the whole line.
    std::fwrite(whole.data(), 1, whole.size(), stdout);
    std::fflush(stdout);
}

ConsoleRedirect::ConsoleRedirect(std::function<void(std::string_view line)> writer) {
    Redirect& to = redirect();
    const std::lock_guard guard(to.lock);
    to.writer = std::move(writer);
}

ConsoleRedirect::~ConsoleRedirect() {
    Redirect& to = redirect();
    const std::lock_guard guard(to.lock);
    to.writer = nullptr;
}

}  // namespace flarecast::bluetooth
