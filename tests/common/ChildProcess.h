#pragma once

// A program run as a process of its own, its standard output and error read as they come.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#if defined(_WIN32)
#include <windows.h>

#include "bluetooth/native/windows/WindowsText.h"
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>

#include "bluetooth/native/posix/UniqueFd.h"

extern char** environ;  // NOLINT: the process environment, handed on to the program
#endif

namespace flarecast::testing {

// Long enough for any run under a sanitizer or an emulator on a loaded machine; only a hang
// reaches it.
inline constexpr std::chrono::seconds kChildBound{60};

class ChildProcess {
public:
    // Where the program's standard error goes: a pipe, or a terminal of its own (a
    // pseudo-terminal, read here as a pipe is).
    enum class Errors {
        Pipe,
#if !defined(_WIN32)
        Terminal,
#endif
    };

    // arguments[0] is the program; all are UTF-8.
    explicit ChildProcess(const std::vector<std::string>& arguments,
                          Errors errorsTo = Errors::Pipe) {
        start(arguments, errorsTo);
    }
    ~ChildProcess() {
        kill();
        // The readers end with the pipes, which end with the program.
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const {
        return running || status.has_value() || killed;
    }

    // Waits until wanted(stdout, stderr) holds of everything read so far; false when the
    // program closed both first or the bound passed.
    bool readUntil(const std::function<bool(const std::string&, const std::string&)>& wanted,
                   std::chrono::milliseconds bound = kChildBound) {
        std::unique_lock guard(streams.lock);
        const auto holds = [&] { return wanted(text(streams.out), text(streams.err)); };
        return streams.changed.wait_for(guard, bound, [&] {
            return holds() || streams.open == 0;
        }) && holds();
    }
    // Waits until both streams have ended, within the bound.
    bool readToTheEnd(std::chrono::milliseconds bound = kChildBound) {
        std::unique_lock guard(streams.lock);
        return streams.changed.wait_for(guard, bound, [&] { return streams.open == 0; });
    }
    std::string output() const {
        const std::lock_guard guard(streams.lock);
        return text(streams.out);
    }
    std::string errors() const {
        const std::lock_guard guard(streams.lock);
        return text(streams.err);
    }

    // True once the program has ended, of itself or killed.
    bool exited() {
        if (running) {
            poll(std::chrono::milliseconds(0));
        }
        return !running;
    }
    // The exit status once the program ended of itself within the bound; nothing when it still
    // runs, was killed or ended on a signal.
    std::optional<int> exitStatus(std::chrono::milliseconds bound = kChildBound) {
        if (running) {
            poll(bound);
        }
        return status;
    }

    // Ends the program at once, as a crash would, and waits for it to go.
    void kill() {
        if (!running) {
            return;
        }
#if defined(_WIN32)
        ::TerminateProcess(process.handle, kKilledStatus);
        ::WaitForSingleObject(process.handle, static_cast<DWORD>(kChildBound.count() * 1000));
#else
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
#endif
        running = false;
        killed = true;
    }

#if !defined(_WIN32)
    void signal(int number) const {
        if (running) {
            ::kill(pid, number);
        }
    }
#endif

private:
    // What the program wrote, read as text: on Windows, its C runtime ends each line with \r\n.
    static std::string text(const std::string& written) {
#if defined(_WIN32)
        std::string lines;
        for (std::size_t i = 0; i < written.size(); ++i) {
            if (written[i] != '\r' || i + 1 == written.size() || written[i + 1] != '\n') {
                lines.push_back(written[i]);
            }
        }
        return lines;
#else
        return written;
#endif
    }

    // What the readers have read, and how many of the two streams are still open.
    struct Streams {
        mutable std::mutex lock;
        std::condition_variable changed;
        std::string out;
        std::string err;
        int open = 0;
    };

#if defined(_WIN32)
    static constexpr UINT kKilledStatus = 0xDEAD;

    class Handle {
    public:
        Handle() = default;
        explicit Handle(HANDLE handle) : handle(handle) {}
        ~Handle() {
            if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
                ::CloseHandle(handle);
            }
        }
        Handle(Handle&& other) noexcept : handle(std::exchange(other.handle, nullptr)) {}
        Handle& operator=(Handle&& other) noexcept {
            std::swap(handle, other.handle);
            return *this;
        }
        Handle(const Handle&) = delete;
        Handle& operator=(const Handle&) = delete;
        bool valid() const { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

        HANDLE handle = nullptr;
    };
    using End = Handle;

    // The end to read and the end for the program, neither inherited by other programs.
    static std::pair<End, End> pipeEnds() {
        HANDLE read = nullptr;
        HANDLE write = nullptr;
        if (!::CreatePipe(&read, &write, nullptr, 0)) {
            return {};
        }
        return {Handle(read), Handle(write)};
    }

    // One argument as the program's C runtime splits its command line again.
    static std::wstring quoted(const std::wstring& argument) {
        if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
            return argument;
        }
        std::wstring word = L"\"";
        std::size_t backslashes = 0;
        for (const wchar_t c : argument) {
            if (c == L'\\') {
                ++backslashes;
                continue;
            }
            // Backslashes before a quote escape; elsewhere they are plain.
            word.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
            backslashes = 0;
            word.push_back(c);
        }
        word.append(backslashes * 2, L'\\');
        word.push_back(L'"');
        return word;
    }

    void start(const std::vector<std::string>& arguments, Errors) {
        std::wstring commandLine;
        for (const auto& argument : arguments) {
            commandLine += (commandLine.empty() ? L"" : L" ") + quoted(bluetooth::widen(argument));
        }
        auto [outRead, outWrite] = pipeEnds();
        auto [errRead, errWrite] = pipeEnds();
        Handle input(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr));
        if (!outWrite.valid() || !errWrite.valid() || !input.valid()) {
            return;
        }
        // The program inherits these three and nothing else, so that another program started
        // meanwhile never holds this one's pipes open.
        HANDLE inherited[] = {input.handle, outWrite.handle, errWrite.handle};
        for (const HANDLE each : inherited) {
            ::SetHandleInformation(each, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        }
        SIZE_T size = 0;
        ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        std::vector<char> storage(size);
        const auto attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
        if (!::InitializeProcThreadAttributeList(attributes, 1, 0, &size)) {
            return;
        }
        STARTUPINFOEXW startup{};
        startup.StartupInfo.cb = sizeof startup;
        startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdInput = input.handle;
        startup.StartupInfo.hStdOutput = outWrite.handle;
        startup.StartupInfo.hStdError = errWrite.handle;
        startup.lpAttributeList = attributes;
        PROCESS_INFORMATION created{};
        const bool spawned =
            ::UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                        sizeof inherited, nullptr, nullptr) &&
            ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                             EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr, &startup.StartupInfo,
                             &created);
        ::DeleteProcThreadAttributeList(attributes);
        if (!spawned) {
            return;
        }
        ::CloseHandle(created.hThread);
        process = Handle(created.hProcess);
        running = true;
        read(std::move(outRead), &Streams::out);
        read(std::move(errRead), &Streams::err);
    }

    static std::size_t readSome(const End& end, char* buffer, std::size_t size) {
        DWORD count = 0;
        if (!::ReadFile(end.handle, buffer, static_cast<DWORD>(size), &count, nullptr)) {
            return 0;
        }
        return count;
    }

    // Waits for the end up to bound; false when it did not come.
    bool poll(std::chrono::milliseconds bound) {
        const auto wait = static_cast<DWORD>(std::max<std::int64_t>(bound.count(), 0));
        if (::WaitForSingleObject(process.handle, wait) != WAIT_OBJECT_0) {
            return false;
        }
        DWORD code = 0;
        ::GetExitCodeProcess(process.handle, &code);
        status = static_cast<int>(code);
        running = false;
        return true;
    }

    Handle process;
#else
    using End = bluetooth::UniqueFd;

    static std::pair<End, End> pipeEnds() {
        std::array<int, 2> ends{-1, -1};
        if (::pipe2(ends.data(), O_CLOEXEC) != 0) {
            return {};
        }
        return {End(ends[0]), End(ends[1])};
    }
    static std::pair<End, End> terminalEnds() {
        End terminal(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
        if (!terminal.valid() || ::grantpt(terminal.get()) != 0 ||
            ::unlockpt(terminal.get()) != 0) {
            return {};
        }
        End program(::open(::ptsname(terminal.get()), O_RDWR | O_NOCTTY | O_CLOEXEC));
        return {std::move(terminal), std::move(program)};
    }

    void start(const std::vector<std::string>& arguments, Errors errorsTo) {
        std::vector<std::string> texts = arguments;
        std::vector<char*> argv;
        for (auto& each : texts) {
            argv.push_back(each.data());
        }
        argv.push_back(nullptr);
        auto [outRead, outWrite] = pipeEnds();
        auto [errRead, errWrite] = errorsTo == Errors::Pipe ? pipeEnds() : terminalEnds();
        if (!outWrite.valid() || !errWrite.valid()) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, outWrite.get(), STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, errWrite.get(), STDERR_FILENO);
        running = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
        posix_spawn_file_actions_destroy(&actions);
        if (running) {
            read(std::move(outRead), &Streams::out);
            read(std::move(errRead), &Streams::err);
        }
    }

    static std::size_t readSome(const End& end, char* buffer, std::size_t size) {
        for (;;) {
            const ssize_t count = ::read(end.get(), buffer, size);
            if (count >= 0 || errno != EINTR) {
                // A terminal whose program has gone reads as an error, not as an end.
                return count > 0 ? static_cast<std::size_t>(count) : 0;
            }
        }
    }

    // Looks for the end until bound passes; false when it did not come.
    bool poll(std::chrono::milliseconds bound) {
        const auto deadline = std::chrono::steady_clock::now() + bound;
        for (;;) {
            int waited = 0;
            if (::waitpid(pid, &waited, WNOHANG) == pid) {
                running = false;
                if (WIFEXITED(waited)) {
                    status = WEXITSTATUS(waited);
                }
                return true;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    pid_t pid = -1;
#endif

    // A thread that reads one stream to its end into streams.
    void read(End end, std::string Streams::*into) {
        {
            const std::lock_guard guard(streams.lock);
            ++streams.open;
        }
        readers.emplace_back([this, end = std::move(end), into] {
            char buffer[4096];
            for (std::size_t count; (count = readSome(end, buffer, sizeof buffer)) > 0;) {
                const std::lock_guard guard(streams.lock);
                (streams.*into).append(buffer, count);
                streams.changed.notify_all();
            }
            const std::lock_guard guard(streams.lock);
            --streams.open;
            streams.changed.notify_all();
        });
    }

    bool running = false;
    bool killed = false;
    std::optional<int> status;
    Streams streams;
    // Last: they use the members above until they are joined.
    std::vector<std::jthread> readers;
};

}  // namespace flarecast::testing
