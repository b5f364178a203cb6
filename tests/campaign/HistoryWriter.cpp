// Records pushes into a history from a program of its own: history_writer PATH COUNT. Prints the
// number of records made after each one, so that a test knows how far it came.
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <string>

#include "app/campaign/History.h"
#include "bluetooth/io/ProgramArguments.h"
#include "bluetooth/io/Utf8Path.h"

int main(int argc, char** argv) {
    using namespace flarecast::campaign;
    flarecast::bluetooth::ProgramArguments arguments(argc, argv);
    argc = arguments.count();
    argv = arguments.values();
    if (argc != 3) {
        std::fprintf(stderr, "usage: history_writer PATH COUNT\n");
        return 2;
    }
    try {
        const long count = std::stol(argv[2]);
        History history(flarecast::bluetooth::pathFromUtf8(argv[1]));
        const std::string address = "writer-" + std::to_string(::getpid());
        for (long i = 1; i <= count; ++i) {
            PushRecord push;
            push.address = address;
            push.name = "Writer";
            push.time = Clock::now();
            push.file = "picture.jpg";
            push.checksum = std::to_string(i);
            push.outcome = Outcome::Sent;
            history.recordPush(push);
            std::printf("%ld\n", i);
            std::fflush(stdout);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "history_writer: %s\n", error.what());
        return 1;
    }
    return 0;
}
