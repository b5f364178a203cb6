// flarecast-phone: one virtual phone on a TCP port, until SIGINT or SIGTERM.
#include <csignal>

#include "PhoneOptions.h"
#include "bluetooth/io/Console.h"
#include "bluetooth/io/Errors.h"
#include "obex/phone/VirtualPhone.h"

namespace {

using flarecast::bluetooth::printLine;

// The signals that end the program, blocked in every thread so that main can wait for them.
sigset_t endingSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app("A virtual phone: an OBEX Object Push server that behaves as the options say.",
                 "flarecast-phone");
    flarecast::tools::PhoneOptions options;
    options.addTo(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::string help = app.help();
        help.erase(help.find_last_not_of('\n') + 1);
        printLine(help);
        return 0;
    } catch (const CLI::ParseError& error) {
        printLine(error.what());
        return error.get_exit_code();
    }
    options.finish();

    const sigset_t signals = endingSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    try {
        const flarecast::obex::VirtualPhone phone(options.profile, options.host, options.port);
        printLine("Listening on " + options.host + ":" + std::to_string(phone.port()));
        int received = 0;
        sigwait(&signals, &received);
    } catch (const flarecast::bluetooth::IOError& error) {
        printLine(error.getMessage());
        return 1;
    }
    return 0;
}
