#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "PhoneClient.h"
#include "PhoneNeighbourhood.h"

extern char** environ;  // NOLINT: the process environment, handed on to the program

namespace flarecast::obex {
namespace {

using testing::PhoneNeighbourhood;

// flarecast-phone, run with the arguments given, its standard output read through a pipe.
class PhoneProgram {
public:
    explicit PhoneProgram(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), FLARECAST_PHONE_PROGRAM);
        std::vector<char*> argv;
        for (auto& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            return;
        }
        output = ends[0];
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(ends[1]);
    }
    ~PhoneProgram() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (output >= 0) {
            ::close(output);
        }
    }
    PhoneProgram(const PhoneProgram&) = delete;
    PhoneProgram& operator=(const PhoneProgram&) = delete;

    // The next line it prints, within a bound; empty when none came.
    std::string nextLine() {
        std::string line;
        char c = 0;
        pollfd ready{output, POLLIN, 0};
        while (::poll(&ready, 1, 10000) == 1 && ::read(output, &c, 1) == 1 && c != '\n') {
            line.push_back(c);
        }
        return line;
    }

    // The exit status once the signal has ended it, within a bound; -1 when it did not exit.
    int stop(int signal) {
        ::kill(pid, signal);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid = -1;
    int output = -1;
};

TEST(PhoneProgram, ReceivesAPushAndEndsCleanlyOnEitherSignal) {
    const PhoneNeighbourhood& world = PhoneNeighbourhood::get();
    const std::string port = std::to_string(world.programPort);
    for (const int signal : {SIGTERM, SIGINT}) {
        const auto folder = world.folder("program") / std::to_string(signal);
        PhoneProgram program({"--port", port, "--save-to", folder.string(), "--preset", "strict"});
        ASSERT_EQ(program.nextLine(), "Listening on 127.0.0.1:" + port);
        const auto session = testing::connected(world.url("program"));
        testing::Object photo = testing::named("photo.jpg", "pixels");
        photo.type = "image/jpeg";
        EXPECT_EQ(testing::push(*session, photo), ResponseCodes::OBEX_HTTP_OK);
        EXPECT_EQ(testing::filesIn(folder),
                  (std::map<std::string, std::string>{{"photo.jpg", "pixels"}}));
        // A client still connected does not hold the program up.
        EXPECT_EQ(program.stop(signal), 0) << signal;
    }
}

TEST(PhoneProgram, RefusesOptionsOutsideTheirRange) {
    for (const char* option :
         {"--max-packet=254", "--preset=lenient", "--refuse-put=0xA0", "--max-sessions=0"}) {
        PhoneProgram program({option});
        EXPECT_NE(program.nextLine(), "") << option;
        EXPECT_GT(program.stop(0), 0) << option;
    }
}

}  // namespace
}  // namespace flarecast::obex
