#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

extern char** environ;  // NOLINT: the process environment, handed on to the server

namespace flarecast::testing {

// Another project's OBEX server, obex_tcp from Debian's openobex-apps: it listens on TCP port
// 650, takes one session and saves what it receives in its working folder, then exits.
class ObexTcpServer {
public:
    static constexpr const char* kProgram = "/usr/bin/obex_tcp";
    static constexpr int kPort = 650;

    static bool installed() { return ::access(kProgram, X_OK) == 0; }

    // preload: a library to load into the server, or empty.
    ObexTcpServer(const std::filesystem::path& folder, const std::string& preload) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        std::vector<char*> argv = {const_cast<char*>(kProgram), nullptr};
        std::vector<std::string> environment;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            environment.emplace_back(*entry);
        }
        if (!preload.empty()) {
            environment.push_back("LD_PRELOAD=" + preload);
        }
        std::vector<char*> envp;
        for (auto& entry : environment) {
            envp.push_back(entry.data());
        }
        envp.push_back(nullptr);
        if (posix_spawn(&pid, kProgram, &actions, nullptr, argv.data(), envp.data()) != 0) {
            pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }

    ~ObexTcpServer() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }

    ObexTcpServer(const ObexTcpServer&) = delete;
    ObexTcpServer& operator=(const ObexTcpServer&) = delete;

    bool started() const { return pid > 0; }

    // Waits, within a bound, for the server to end its session and exit.
    bool finished(std::chrono::milliseconds bound = std::chrono::seconds(30)) {
        const auto deadline = std::chrono::steady_clock::now() + bound;
        while (pid > 0) {
            const pid_t ended = ::waitpid(pid, nullptr, WNOHANG);
            if (ended == pid) {
                pid = -1;
                return true;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

private:
    pid_t pid = -1;
};

}  // namespace flarecast::testing
