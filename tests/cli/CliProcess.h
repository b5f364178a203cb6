#pragma once

// flarecast-cli as a process of its own, its standard output and error read through pipes.

#include <string>
#include <utility>
#include <vector>

#include "tests/common/ChildProcess.h"

namespace flarecast::cli {

class CliProcess : public testing::ChildProcess {
public:
    explicit CliProcess(std::vector<std::string> arguments, Errors errorsTo = Errors::Pipe)
        : ChildProcess(withProgram(std::move(arguments)), errorsTo) {}

    bool errorsSay(const std::string& text) {
        return readUntil([&](const std::string&, const std::string& errs) {
            return errs.find(text) != std::string::npos;
        });
    }

    struct Ended {
        // The exit status, or -1 when it did not exit on its own within the bound.
        int status = -1;
        std::string out;
        std::string err;
    };
    // Everything the program writes until it ends, and its exit status.
    Ended finish() {
        const auto deadline = std::chrono::steady_clock::now() + testing::kChildBound;
        readToTheEnd();
        const auto status = exitStatus(std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now()));
        return {status.value_or(-1), output(), errors()};
    }

private:
    static std::vector<std::string> withProgram(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), FLARECAST_CLI_PROGRAM);
        return arguments;
    }
};

// The program run to its end with these arguments.
inline CliProcess::Ended run(std::vector<std::string> arguments) {
    CliProcess program(std::move(arguments));
    return program.finish();
}

}  // namespace flarecast::cli
