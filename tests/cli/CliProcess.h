#pragma once

// flarecast-cli as a process of its own, its standard output and error read through pipes.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bluetooth/native/posix/UniqueFd.h"

extern char** environ;  // NOLINT: the process environment, handed on to the program

namespace flarecast::cli {

using bluetooth::UniqueFd;

// Long enough for any run under a sanitizer on a loaded machine; only a hang reaches it.
inline constexpr std::chrono::seconds kBound{60};

class CliProcess {
public:
    // Where the program's standard error goes: a pipe, or a terminal of its own (a
    // pseudo-terminal, read here as a pipe is).
    enum class Errors { Pipe, Terminal };

    explicit CliProcess(std::vector<std::string> arguments, Errors errorsTo = Errors::Pipe) {
        arguments.insert(arguments.begin(), FLARECAST_CLI_PROGRAM);
        std::vector<char*> argv;
        for (auto& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        auto [outRead, outWrite] = pipeEnds();
        auto [errRead, errWrite] = errorsTo == Errors::Pipe ? pipeEnds() : terminalEnds();
        if (!outWrite.valid() || !errWrite.valid()) {
            return;
        }
        out = std::move(outRead);
        err = std::move(errRead);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, outWrite.get(), STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, errWrite.get(), STDERR_FILENO);
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~CliProcess() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    bool started() const { return pid > 0; }

    // Reads what the program writes until wanted(stdout, stderr) holds; false when the program
    // closed both first or the bound passed.
    bool readUntil(const std::function<bool(const std::string&, const std::string&)>& wanted) {
        const auto deadline = std::chrono::steady_clock::now() + kBound;
        while (!wanted(output, errors)) {
            if (!readSome(deadline)) {
                return false;
            }
        }
        return true;
    }
    bool errorsSay(const std::string& text) {
        return readUntil([&](const std::string&, const std::string& errs) {
            return errs.find(text) != std::string::npos;
        });
    }

    void signal(int number) const { ::kill(pid, number); }

    // True once the program has exited; it is then reaped.
    bool exited() {
        if (pid > 0 && ::waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
        }
        return pid < 0;
    }

    struct Ended {
        // The exit status, or -1 when it did not exit on its own within the bound.
        int status = -1;
        std::string out;
        std::string err;
    };
    // Everything the program writes until it ends, and its exit status.
    Ended finish() {
        const auto deadline = std::chrono::steady_clock::now() + kBound;
        while (readSome(deadline)) {
        }
        while (!exited() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        const bool ended = pid < 0 && WIFEXITED(status);
        return {ended ? WEXITSTATUS(status) : -1, output, errors};
    }

private:
    // The end to read and the end for the program.
    using Ends = std::pair<UniqueFd, UniqueFd>;
    static Ends pipeEnds() {
        std::array<int, 2> ends{-1, -1};
        if (::pipe2(ends.data(), O_CLOEXEC) != 0) {
            return {};
        }
        return {UniqueFd(ends[0]), UniqueFd(ends[1])};
    }
    static Ends terminalEnds() {
        UniqueFd terminal(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
        if (!terminal.valid() || ::grantpt(terminal.get()) != 0 ||
            ::unlockpt(terminal.get()) != 0) {
            return {};
        }
        UniqueFd program(::open(::ptsname(terminal.get()), O_RDWR | O_NOCTTY | O_CLOEXEC));
        return {std::move(terminal), std::move(program)};
    }

    // Reads what is there, waiting for it until deadline; false when both pipes are closed or
    // the deadline passed.
    bool readSome(std::chrono::steady_clock::time_point deadline) {
        std::array<pollfd, 2> ready{
            {{out.valid() ? out.get() : -1, POLLIN, 0}, {err.valid() ? err.get() : -1, POLLIN, 0}}};
        if (!out.valid() && !err.valid()) {
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 ||
            ::poll(ready.data(), ready.size(), static_cast<int>(left.count())) <= 0) {
            return false;
        }
        drain(ready[0], out, output);
        drain(ready[1], err, errors);
        return true;
    }
    static void drain(const pollfd& ready, UniqueFd& fd, std::string& into) {
        if (ready.revents == 0) {
            return;
        }
        std::array<char, 4096> buffer{};
        const ssize_t count = ::read(fd.get(), buffer.data(), buffer.size());
        if (count <= 0) {
            fd = UniqueFd();
            return;
        }
        into.append(buffer.data(), static_cast<std::size_t>(count));
    }

    pid_t pid = -1;
    int status = 0;
    UniqueFd out;
    UniqueFd err;
    std::string output;
    std::string errors;
};

// The program run to its end with these arguments.
inline CliProcess::Ended run(std::vector<std::string> arguments) {
    CliProcess program(std::move(arguments));
    return program.finish();
}

}  // namespace flarecast::cli
