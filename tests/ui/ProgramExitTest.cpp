// The real program under a real X server, ended the ways an operator ends it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// After the standard headers: Xlib defines macros such as Bool and Status.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "tests/common/TempFolder.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

template <typename Done>
bool pollUntil(Done done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string describe(int waitStatus) {
    if (WIFEXITED(waitStatus)) {
        return "status " + std::to_string(WEXITSTATUS(waitStatus));
    }
    if (WIFSIGNALED(waitStatus)) {
        return "status " + std::to_string(128 + WTERMSIG(waitStatus)) + " (signal " +
               std::to_string(WTERMSIG(waitStatus)) + ")";
    }
    return "wait status " + std::to_string(waitStatus);
}

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd; }
    void reset() {
        if (fd >= 0) {
            close(fd);
        }
        fd = -1;
    }

private:
    int fd;
};

// Where a child process writes and works; an empty path leaves the test's own.
struct Surroundings {
    std::vector<std::string> env;
    fs::path output;
    fs::path errors;
    fs::path folder;
};

// A child process; asked to end, then killed, and always reaped when it goes out of scope. It
// is killed too when the test process dies first, so a killed test leaves nothing behind.
class Process {
public:
    Process(std::vector<std::string> argv, Surroundings around) {
        std::vector<char*> args;
        for (auto& arg : argv) {
            args.push_back(arg.data());
        }
        args.push_back(nullptr);
        std::vector<char*> vars;
        for (auto& var : around.env) {
            vars.push_back(var.data());
        }
        vars.push_back(nullptr);
        int report[2];
        if (pipe2(report, O_CLOEXEC) != 0) {
            spawnError = errno;
            return;
        }
        Descriptor readEnd(report[0]);
        Descriptor writeEnd(report[1]);
        const pid_t parent = getpid();
        pid = fork();
        if (pid == 0) {
            // Only calls that are safe between fork and exec from here on.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() == parent && redirect(STDOUT_FILENO, around.output) &&
                redirect(STDERR_FILENO, around.errors) &&
                (around.folder.empty() || chdir(around.folder.c_str()) == 0)) {
                execvpe(args[0], args.data(), vars.data());
            }
            const int failure = errno;
            (void)!write(writeEnd.get(), &failure, sizeof failure);
            _exit(127);
        }
        if (pid < 0) {
            spawnError = errno;
            return;
        }
        writeEnd.reset();
        // The report pipe closes on exec; an errno on it means the child never got there.
        if (read(readEnd.get(), &spawnError, sizeof spawnError) == sizeof spawnError) {
            waitpid(pid, nullptr, 0);
            pid = -1;
        } else {
            spawnError = 0;
        }
    }
    ~Process() {
        if (pid > 0 && !status()) {
            kill(pid, SIGTERM);
            if (!waitForEnd(5s)) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
            }
        }
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    int error() const { return spawnError; }

    // The wait status once the process has ended.
    std::optional<int> status() {
        int waitStatus = 0;
        if (pid > 0 && !ended && waitpid(pid, &waitStatus, WNOHANG) == pid) {
            ended = waitStatus;
        }
        return ended;
    }

    std::optional<int> waitForEnd(std::chrono::milliseconds limit) {
        pollUntil([this] { return status().has_value(); }, limit);
        return ended;
    }

private:
    static bool redirect(int fd, const fs::path& file) {
        if (file.empty()) {
            return true;
        }
        const int opened = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        return opened >= 0 && dup2(opened, fd) == fd;
    }

    pid_t pid = -1;
    int spawnError = 0;
    std::optional<int> ended;
};

std::vector<std::string> environmentWith(const std::vector<std::string>& replaced) {
    std::vector<std::string> env;
    for (char** var = environ; *var != nullptr; ++var) {
        const std::string entry = *var;
        const std::string key = entry.substr(0, entry.find('=') + 1);
        const bool dropped =
            key == "WAYLAND_DISPLAY=" ||
            std::any_of(replaced.begin(), replaced.end(),
                        [&](const std::string& wanted) { return wanted.starts_with(key); });
        if (!dropped) {
            env.push_back(entry);
        }
    }
    env.insert(env.end(), replaced.begin(), replaced.end());
    return env;
}

// An X server of its own on a free display number.
class XServer {
public:
    explicit XServer(const fs::path& folder) {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) {
            problem = "no pipe for the X server";
            return;
        }
        Descriptor readEnd(ends[0]);
        Descriptor writeEnd(ends[1]);
        fcntl(writeEnd.get(), F_SETFD, 0);
        process.emplace(
            std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(ends[1]), "-nolisten",
                                     "tcp", "-noreset", "-screen", "0", "1024x768x24"},
            Surroundings{environmentWith({}), {}, folder / "xvfb.log", {}});
        writeEnd.reset();
        if (process->error() != 0) {
            problem = "Xvfb cannot be started (" + std::string(strerror(process->error())) +
                      "); scripts/install-deps.sh installs it";
            return;
        }
        std::string number;
        char c = 0;
        pollfd wanted{readEnd.get(), POLLIN, 0};
        while (poll(&wanted, 1, 10000) == 1 && read(readEnd.get(), &c, 1) == 1 && c != '\n') {
            number += c;
        }
        if (c != '\n' || number.empty()) {
            problem = "Xvfb did not start: " + readFile(folder / "xvfb.log");
            return;
        }
        name = ":" + number;
    }

    // The display's name, or empty with the reason in problem.
    std::string name;
    std::string problem;

private:
    std::optional<Process> process;
};

int ignoreXErrors(Display*, XErrorEvent*) {
    return 0;
}

class ProgramExitTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(folder.path.empty());
        server.emplace(folder.path);
        if (server->name.empty()) {
            // Where the server is part of the set-up, as in CI, its absence is a failure.
            if (getenv("FLARECAST_REQUIRE_X") != nullptr) {
                FAIL() << server->problem;
            }
            GTEST_SKIP() << "No X server for the exit tests: " << server->problem;
        }
        // Windows may vanish while they are looked at; that is no failure.
        XSetErrorHandler(ignoreXErrors);
        x.reset(XOpenDisplay(server->name.c_str()));
        ASSERT_NE(x, nullptr) << "cannot connect to " << server->name;
        int unused = 0;
        ASSERT_TRUE(XTestQueryExtension(x.get(), &unused, &unused, &unused, &unused));

        const fs::path runtime = folder.path / "runtime";
        fs::create_directory(runtime);
        fs::permissions(runtime, fs::perms::owner_all);
        // Kept off the operator's desktop: own settings and history, no session bus (where there is
        // none, libdbus's failed attempt to start one leaks).
        std::vector<std::string> env = {"DISPLAY=" + server->name,
                                        "QT_QPA_PLATFORM=xcb",
                                        "XDG_CONFIG_HOME=" + folder.path.string(),
                                        "XDG_DATA_HOME=" + folder.path.string(),
                                        "XDG_RUNTIME_DIR=" + runtime.string(),
                                        "DBUS_SESSION_BUS_ADDRESS=disabled:"};
        env.insert(env.end(), moreEnvironment.begin(), moreEnvironment.end());
        program.emplace(std::vector<std::string>{FLARECAST_PROGRAM},
                        Surroundings{environmentWith(env), folder.path / "stdout",
                                     folder.path / "stderr", folder.path});
        ASSERT_EQ(program->error(), 0) << strerror(program->error());
        ASSERT_TRUE(shows([this] { return (window = viewableWindowTitled("Flarecast v1.0")) != 0; },
                          "the main window"));
        XGetWindowAttributes(x.get(), window, &placed);
    }

    // Waits for what the program should show, but not once the program has ended.
    template <typename Shown>
    testing::AssertionResult shows(Shown shown, const std::string& what) {
        pollUntil([&] { return shown() || program->status().has_value(); }, 30s);
        if (shown()) {
            return testing::AssertionSuccess();
        }
        const std::optional<int> status = program->status();
        return testing::AssertionFailure()
               << what << " did not appear; the program "
               << (status ? "ended with " + describe(*status) : std::string("still runs"))
               << " and wrote:\n"
               << readFile(folder.path / "stderr");
    }

    // Waits until what the program shows has stayed for a while: the list of completions comes and
    // goes while the dialog is still reading the typed path.
    template <typename Shown>
    testing::AssertionResult showsSteadily(Shown shown, const std::string& what) {
        // When it was first seen without a break since; the epoch while it is not shown.
        std::chrono::steady_clock::time_point since{};
        pollUntil(
            [&] {
                if (program->status().has_value()) {
                    return true;
                }
                const auto now = std::chrono::steady_clock::now();
                if (!shown()) {
                    since = {};
                    return false;
                }
                if (since == std::chrono::steady_clock::time_point{}) {
                    since = now;
                }
                return now - since >= 300ms;
            },
            30s);
        return shows(shown, what);
    }

    // The top-level windows the program shows now.
    std::vector<Window> viewableWindows() {
        Window root = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        std::vector<Window> shown;
        if (XQueryTree(x.get(), DefaultRootWindow(x.get()), &root, &parent, &children, &count) ==
            0) {
            return shown;
        }
        for (unsigned i = 0; i < count; ++i) {
            XWindowAttributes attributes{};
            if (XGetWindowAttributes(x.get(), children[i], &attributes) != 0 &&
                attributes.map_state == IsViewable) {
                shown.push_back(children[i]);
            }
        }
        XFree(children);
        return shown;
    }

    Window viewableWindowTitled(const std::string& title) {
        const Atom netName = XInternAtom(x.get(), "_NET_WM_NAME", False);
        const Atom utf8 = XInternAtom(x.get(), "UTF8_STRING", False);
        for (const Window shown : viewableWindows()) {
            Atom type = 0;
            int format = 0;
            unsigned long length = 0;
            unsigned long after = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(x.get(), shown, netName, 0, 256, False, utf8, &type, &format,
                                   &length, &after, &data) == Success &&
                data != nullptr) {
                const std::string name(reinterpret_cast<const char*>(data), length);
                XFree(data);
                if (name == title) {
                    return shown;
                }
            }
        }
        return 0;
    }

    // The window that takes the keys now.
    Window focused() {
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(x.get(), &focus, &revert);
        return focus;
    }

    // What a window manager does for the window it activates.
    void focusWindow() {
        XSetInputFocus(x.get(), window, RevertToPointerRoot, CurrentTime);
        XSync(x.get(), False);
    }

    void press(std::initializer_list<KeySym> chord) {
        for (const KeySym key : chord) {
            XTestFakeKeyEvent(x.get(), XKeysymToKeycode(x.get(), key), True, CurrentTime);
        }
        for (auto key = std::rbegin(chord); key != std::rend(chord); ++key) {
            XTestFakeKeyEvent(x.get(), XKeysymToKeycode(x.get(), *key), False, CurrentTime);
        }
        XSync(x.get(), False);
    }

    // Types text as a US keyboard does, with Shift where a character needs it.
    void type(const std::string& text) {
        const KeyCode shift = XKeysymToKeycode(x.get(), XK_Shift_L);
        for (const char c : text) {
            const KeySym wanted = static_cast<unsigned char>(c);
            const KeyCode key = XKeysymToKeycode(x.get(), wanted);
            const bool shifted = XkbKeycodeToKeysym(x.get(), key, 0, 0) != wanted;
            if (shifted) {
                XTestFakeKeyEvent(x.get(), shift, True, CurrentTime);
            }
            XTestFakeKeyEvent(x.get(), key, True, CurrentTime);
            XTestFakeKeyEvent(x.get(), key, False, CurrentTime);
            if (shifted) {
                XTestFakeKeyEvent(x.get(), shift, False, CurrentTime);
            }
        }
        XSync(x.get(), False);
    }

    void clickAt(int left, int top) {
        XTestFakeMotionEvent(x.get(), DefaultScreen(x.get()), left, top, CurrentTime);
        XTestFakeButtonEvent(x.get(), Button1, True, CurrentTime);
        XTestFakeButtonEvent(x.get(), Button1, False, CurrentTime);
        XSync(x.get(), False);
    }

    // What a window manager sends when the operator closes the window.
    void closeWindow() {
        const Atom protocols = XInternAtom(x.get(), "WM_PROTOCOLS", False);
        const Atom deleteWindow = XInternAtom(x.get(), "WM_DELETE_WINDOW", False);
        Atom* offered = nullptr;
        int count = 0;
        ASSERT_NE(XGetWMProtocols(x.get(), window, &offered, &count), 0);
        const bool closable = std::find(offered, offered + count, deleteWindow) != offered + count;
        XFree(offered);
        ASSERT_TRUE(closable) << "the window does not take WM_DELETE_WINDOW";

        XEvent close{};
        close.xclient.type = ClientMessage;
        close.xclient.window = window;
        close.xclient.message_type = protocols;
        close.xclient.format = 32;
        close.xclient.data.l[0] = static_cast<long>(deleteWindow);
        close.xclient.data.l[1] = CurrentTime;
        XSendEvent(x.get(), window, False, NoEventMask, &close);
        XSync(x.get(), False);
    }

    void expectsCleanEnd() {
        const std::optional<int> status = program->waitForEnd(30s);
        ASSERT_TRUE(status.has_value()) << "the program did not end; it wrote:\n"
                                        << readFile(folder.path / "stderr");
        EXPECT_EQ(describe(*status), "status 0") << "the program wrote:\n"
                                                 << readFile(folder.path / "stderr");
        EXPECT_EQ(readFile(folder.path / "stdout"), "Test\n" + folder.path.string() + "\n");
    }

    flarecast::testing::TempFolder folder;
    // For the program, beside what every test gives it.
    std::vector<std::string> moreEnvironment;
    std::optional<XServer> server;
    std::unique_ptr<Display, decltype(&XCloseDisplay)> x{nullptr, XCloseDisplay};
    std::optional<Process> program;
    Window window = 0;
    XWindowAttributes placed{};
};

TEST_F(ProgramExitTest, ExitAcceleratorEndsWithStatusZero) {
    focusWindow();
    press({XK_Alt_L, XK_e});
    expectsCleanEnd();
}

TEST_F(ProgramExitTest, ExitInTheFileMenuEndsWithStatusZero) {
    focusWindow();
    // The File title opens the leftmost menu of the bar at the window's top edge.
    clickAt(placed.x + 16, placed.y + 10);
    ASSERT_TRUE(shows([this] { return viewableWindows().size() > 1; }, "the File menu"));
    // Up, with no item chosen yet, chooses the last: Exit.
    press({XK_Up});
    press({XK_Return});
    expectsCleanEnd();
}

TEST_F(ProgramExitTest, ClosingTheWindowEndsWithStatusZero) {
    closeWindow();
    expectsCleanEnd();
}

// The program among one phone whose owner takes ten minutes to answer.
class ProgramExitDuringAPassTest : public ProgramExitTest {
protected:
    ProgramExitDuringAPassTest() {
        const fs::path neighbourhood = folder.path / "neighbourhood.json";
        std::ofstream(neighbourhood) << R"({ "inquiry_ms": 20, "devices": [
            { "address": "0012345600c1", "name": "Slow owner",
              "services": [ { "uuid": "1105", "channel": 9 } ],
              "rfcomm": { "9": { "prompt_delay_ms": 600000 } } } ] })";
        moreEnvironment.push_back("FLARECAST_NEIGHBOURHOOD=" + neighbourhood.string());
        // Without TZ, glibc frees and reallocates its copy of the zone's name at every tzset,
        // which the file dialog (through Qt) and the engine's first date (through ICU) both call.
        // glibc's lock around it is invisible to the thread sanitizer, which would report a race.
        moreEnvironment.emplace_back("TZ=UTC");
        fs::create_directory(folder.path / "outbox");
        std::ofstream(offer) << "An offer for you\n";
    }

    const fs::path offer = folder.path / "outbox" / "offer.txt";
};

TEST_F(ProgramExitDuringAPassTest, ClosingTheWindowEndsAtOnceWithStatusZero) {
    focusWindow();
    // File, Select File To Send: the file's whole path typed into the dialog once it has the
    // keys. Escape closes the list of completions first: Return with the list open takes the file
    // but leaves the list on the screen, over the main window.
    press({XK_Alt_L, XK_o});
    ASSERT_TRUE(shows(
        [this] {
            const Window focus = focused();
            return viewableWindows().size() == 2 && focus != window && focus > PointerRoot;
        },
        "the file dialog"));
    type(offer.string());
    ASSERT_TRUE(showsSteadily([this] { return viewableWindows().size() == 3; }, "the completions"));
    press({XK_Escape});
    ASSERT_TRUE(shows([this] { return viewableWindows().size() == 2; }, "the dialog alone"));
    press({XK_Return});
    ASSERT_TRUE(shows([this] { return viewableWindows().size() == 1; }, "the main window alone"));
    // Back in the main window, the focus is in the file name field; Start is two fields on.
    focusWindow();
    press({XK_Tab});
    press({XK_Tab});
    press({XK_space});
    const fs::path output = folder.path / "stdout";
    // The pass has reached the phone, whose owner has yet to answer.
    ASSERT_TRUE(
        shows([&] { return readFile(output).ends_with("putting....\n"); }, "the push to the phone"))
        << readFile(output);

    closeWindow();
    const std::optional<int> status = program->waitForEnd(5s);
    ASSERT_TRUE(status.has_value()) << "the program did not end at once";
    EXPECT_EQ(describe(*status), "status 0") << "the program wrote:\n"
                                             << readFile(folder.path / "stderr");
    EXPECT_EQ(readFile(output), "Test\n" + folder.path.string() +
                                    "\nbtspp://0012345600c1:9;authenticate=false;encrypt=false\n"
                                    "1\nInquiry Completed\ntxt\nopening\ncreated header set\n"
                                    "Text Selected\nputting....\n");
}

}  // namespace
