#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "PhoneClient.h"
#include "PhoneNeighbourhood.h"
#include "tests/common/ChildProcess.h"

namespace flarecast::obex {
namespace {

using testing::PhoneNeighbourhood;

// flarecast-phone, run with the arguments given, its standard output read as it comes.
class PhoneProgram : public flarecast::testing::ChildProcess {
public:
    explicit PhoneProgram(std::vector<std::string> arguments)
        : ChildProcess(withProgram(std::move(arguments))) {}

    // The next line it prints, within a bound; empty when none came.
    std::string nextLine() {
        std::size_t end = std::string::npos;
        readUntil([&](const std::string& out, const std::string&) {
            end = out.find('\n', taken);
            return end != std::string::npos;
        });
        if (end == std::string::npos) {
            return "";
        }
        std::string line = output().substr(taken, end - taken);
        taken = end + 1;
        return line;
    }

#if !defined(_WIN32)
    // The exit status once the signal has ended it, within a bound; -1 when it did not exit.
    int stop(int number) {
        signal(number);
        return exitStatus().value_or(-1);
    }
#endif

private:
    static std::vector<std::string> withProgram(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), FLARECAST_PHONE_PROGRAM);
        return arguments;
    }

    // How much of the output the lines taken so far cover.
    std::size_t taken = 0;
};

TEST(PhoneProgram, ReceivesAPushAndEndsCleanlyOnEitherSignal) {
    const PhoneNeighbourhood& world = PhoneNeighbourhood::get();
    const std::string port = std::to_string(world.programPort);
#if defined(_WIN32)
    // Ctrl+C and Ctrl+Break reach a program through a console shared with it, and a test run has
    // none: the program only receives, and is killed at the end.
    const int signals[] = {0};
#else
    const int signals[] = {SIGTERM, SIGINT};
#endif
    for (const int signal : signals) {
        const auto folder = world.folder("program") / std::to_string(signal);
        PhoneProgram program(
            {"--port", port, "--save-to", bluetooth::utf8Of(folder), "--preset", "strict"});
        ASSERT_EQ(program.nextLine(), "Listening on 127.0.0.1:" + port);
        const auto session = testing::connected(world.url("program"));
        testing::Object photo = testing::named("photo.jpg", "pixels");
        photo.type = "image/jpeg";
        EXPECT_EQ(testing::push(*session, photo), ResponseCodes::OBEX_HTTP_OK);
        EXPECT_EQ(testing::filesIn(folder),
                  (std::map<std::string, std::string>{{"photo.jpg", "pixels"}}));
#if !defined(_WIN32)
        // A client still connected does not hold the program up.
        EXPECT_EQ(program.stop(signal), 0) << signal;
#endif
    }
}

TEST(PhoneProgram, RefusesOptionsOutsideTheirRange) {
    for (const char* option :
         {"--max-packet=254", "--preset=lenient", "--refuse-put=0xA0", "--max-sessions=0"}) {
        PhoneProgram program({option});
        EXPECT_NE(program.nextLine(), "") << option;
        EXPECT_GT(program.exitStatus().value_or(-1), 0) << option;
    }
}

}  // namespace
}  // namespace flarecast::obex
