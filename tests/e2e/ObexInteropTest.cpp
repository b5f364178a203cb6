#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <future>
#include <random>
#include <sstream>

#include "bluetooth/io/Errors.h"
#include "bluetooth/native/NativeStackFactory.h"
#include "bluetooth/native/neighbourhood/NeighbourhoodFile.h"
#include "bluetooth/native/neighbourhood/NeighbourhoodStack.h"
#include "obex/OBEXConnector.h"
#include "obex/headers/ResponseCodes.h"
#include "tests/common/Inbox.h"
#include "tests/common/ObexTcpServer.h"
#include "tests/common/OwnNetwork.h"
#include "tests/engine/EngineTesting.h"

namespace flarecast::obex {
namespace {

namespace fs = std::filesystem;
using testing::ObexTcpServer;

constexpr const char* kPhoneUrl = "btgoep://00123456789a:9;authenticate=false;encrypt=false";

// A phone whose Object Push channel leads to the obex_tcp server on this machine; our own server
// listens on TCP port 7650.
void installNeighbourhood() {
    static const bool installed = bluetooth::installNativeStack(
        std::make_unique<bluetooth::NeighbourhoodStack>(bluetooth::parseNeighbourhood(
            R"({ "local": { "rfcomm_ports": { "3": 7650 } }, "inquiry_ms": 20,
                 "devices": [ { "address": "00123456789a", "name": "Peer",
                 "services": [ { "uuid": "1105", "channel": 9 } ],
                 "rfcomm": { "9": "tcp:127.0.0.1:650" } } ] })",
            "interop")));
    ASSERT_TRUE(installed);
}

// Opens the session, retrying while the server is still starting to listen.
std::unique_ptr<ClientSession> openWhenListening() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (true) {
        try {
            return OBEXConnector::openSession(kPhoneUrl);
        } catch (const bluetooth::IOError&) {
            if (std::chrono::steady_clock::now() > deadline) {
                throw;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
}

// Returns the response code to the final PUT packet.
int push(const std::string& name, const std::string& type, const Bytes& contents) {
    auto session = openWhenListening();
    session->connect(nullptr);
    HeaderSetImpl headers;
    headers.setHeader(HeaderSet::NAME, name);
    headers.setHeader(HeaderSet::TYPE, type);
    headers.setHeader(HeaderSet::LENGTH, static_cast<std::int64_t>(contents.size()));
    const auto put = session->put(&headers);
    const auto out = put->openOutputStream();
    // As the push job writes; the final packet carries a body even when the object is empty.
    for (std::size_t at = 0; at < contents.size(); at += 2048) {
        out->write(
            std::span(contents).subspan(at, std::min<std::size_t>(2048, contents.size() - at)));
    }
    put->close();
    const int code = put->getResponseCode();
    session->disconnect(nullptr);
    session->close();
    return code;
}

Bytes contentsOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ObexInteropTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ObexTcpServer::installed()) {
            GTEST_SKIP() << "obex_tcp (openobex-apps) is not installed";
        }
        // The server's port is fixed: another run on this machine must not share it.
        static const std::optional<std::string> noNetwork = testing::enterOwnNetwork();
        if (noNetwork) {
            GTEST_SKIP() << "obex_tcp needs " << *noNetwork;
        }
        installNeighbourhood();
        folder = fs::temp_directory_path() / ("flarecast-interop-" + std::to_string(::getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    // Pushes the file to a fresh server and returns what the server saved under savedAs.
    std::optional<Bytes> pushAndCollect(const std::string& name, const std::string& type,
                                        const Bytes& contents, const std::string& savedAs) {
        ObexTcpServer server(folder, FLARECAST_REUSE_ADDRESS_PRELOAD);
        EXPECT_TRUE(server.started());
        EXPECT_EQ(push(name, type, contents), ResponseCodes::OBEX_HTTP_OK) << name;
        EXPECT_TRUE(server.finished());
        if (!fs::exists(folder / savedAs)) {
            return std::nullopt;
        }
        return contentsOf(folder / savedAs);
    }

    std::string savedNames() const {
        std::string names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names += "\"" + entry.path().filename().string() + "\" ";
        }
        return names;
    }

    fs::path folder;
};

TEST_F(ObexInteropTest, FilesArriveWholeUnderTheirNames) {
    std::mt19937 random(42);
    const auto randomBytes = [&random](std::size_t size) {
        Bytes bytes(size);
        for (auto& byte : bytes) {
            byte = static_cast<std::uint8_t>(random());
        }
        return bytes;
    };
    const std::string text = "Hello from Flarecast\r\nSecond line\n";
    Bytes image = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0x0D};
    const Bytes pixels = randomBytes(3000);
    image.insert(image.end(), pixels.begin(), pixels.end());

    struct Case {
        std::string name;
        std::string type;
        Bytes contents;
        std::string savedAs;
    };
    const Case cases[] = {
        {"offer.txt", "text/plain", Bytes(text.begin(), text.end()), "offer.txt"},
        {"offer.png", "image/png", image, "offer.png"},
        {"video.3gp", "video/3gpp", randomBytes(5 * 1024 * 1024), "video.3gp"},
        // This server names its file with the low byte of each UTF-16 unit, so a name within
        // ISO-8859-1 arrives as those bytes exactly when every character went as one unit.
        {"Grüße-åäö.txt", "text/plain", Bytes(text.begin(), text.end()),
         "Gr\xFC\xDF"
         "e-\xE5\xE4\xF6.txt"},
    };
    for (const auto& c : cases) {
        const auto saved = pushAndCollect(c.name, c.type, c.contents, c.savedAs);
        ASSERT_TRUE(saved.has_value()) << c.name << " not among: " << savedNames();
        EXPECT_EQ(saved->size(), c.contents.size()) << c.name;
        EXPECT_TRUE(*saved == c.contents) << c.name;
    }
}

// This server accepts an empty object (the push succeeds) but never writes a file for it, as
// it does for its own project's client; so only an empty file, or none, can be expected.
TEST_F(ObexInteropTest, AnEmptyFileIsAccepted) {
    const auto saved = pushAndCollect("empty.txt", "text/plain", {}, "empty.txt");
    EXPECT_TRUE(!saved.has_value() || saved->empty());
}

// The exit status of a program run to its end within a bound, or -1.
int run(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (auto& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        return -1;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(ObexInteropTest, AnotherProjectsClientPushesToOurServer) {
    constexpr const char* kClient = "/usr/bin/obexftp";
    if (::access(kClient, X_OK) != 0) {
        GTEST_SKIP() << "obexftp is not installed";
    }
    const auto server = OBEXConnector::openNotifier("btgoep://localhost:1105");
    const auto inbox = std::make_shared<testing::Inbox>();
    auto serving = std::async(std::launch::async, [&] { server->acceptAndOpen(inbox); });
    const std::string text = "Pushed by another project's client\n";
    const fs::path file = folder / "pushed.txt";
    std::ofstream(file, std::ios::binary) << text;
    // obexftp ends with status 255 even when every step succeeded (against obex_tcp as well),
    // so only its having ended counts; what arrived is the test.
    EXPECT_NE(run({kClient, "-n", "127.0.0.1:7650", "-U", "none", "-H", "-S", "-p", file.string()}),
              -1);
    serving.get();
    const std::lock_guard guard(inbox->lock);
    ASSERT_EQ(inbox->objects.size(), 1U);
    EXPECT_EQ(inbox->objects[0].first, "pushed.txt");
    EXPECT_EQ(inbox->objects[0].second, Bytes(text.begin(), text.end()));
}

// True once a server of this thread's network listens on the TCP port, over IPv4 or IPv6.
bool listensOn(int port) {
    char local[8];
    std::snprintf(local, sizeof local, ":%04X", port);
    for (const char* table : {"/proc/thread-self/net/tcp", "/proc/thread-self/net/tcp6"}) {
        std::ifstream in(table);
        std::string line;
        std::getline(in, line);
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string slot;
            std::string address;
            std::string remote;
            std::string state;
            fields >> slot >> address >> remote >> state;
            if (address.ends_with(local) && state == "0A") {
                return true;
            }
        }
    }
    return false;
}

TEST_F(ObexInteropTest, APassPushesTheFileToAnotherProjectsServer) {
    std::mt19937 random(7);
    std::string picture(40000, '\0');
    for (auto& byte : picture) {
        byte = static_cast<char>(random());
    }
    const fs::path file = engine::fileWith(folder / "outbox", "offer.jpg", picture);
    ObexTcpServer server(folder, FLARECAST_REUSE_ADDRESS_PRELOAD);
    ASSERT_TRUE(server.started());
    // The push job connects once: the server must be listening by then.
    ASSERT_TRUE(testing::eventually([] { return listensOn(ObexTcpServer::kPort); }));

    const engine::Pass pass = engine::runPass(file);

    ASSERT_EQ(pass.rows.size(), 1U) << pass.printed;
    EXPECT_EQ(pass.rows[0].bluetoothname, "Peer");
    EXPECT_EQ(pass.rows[0].bluetoothaddress, "00123456789a");
    EXPECT_FALSE(pass.rows[0].datesent.empty());
    EXPECT_TRUE(pass.rows[0].sent) << pass.printed;
    EXPECT_TRUE(engine::printedInOrder(
        pass.printed, {"btspp://00123456789a:9;authenticate=false;encrypt=false", "1",
                       "Inquiry Completed", "jpg", "opening", "created header set",
                       "Image Selected", "putting....", "put....", "closed..."}));
    EXPECT_TRUE(server.finished());
    ASSERT_TRUE(fs::exists(folder / "offer.jpg")) << "not among: " << savedNames();
    const Bytes saved = contentsOf(folder / "offer.jpg");
    EXPECT_TRUE(saved == Bytes(picture.begin(), picture.end()))
        << saved.size() << " of " << picture.size() << " bytes";
}

}  // namespace
}  // namespace flarecast::obex
