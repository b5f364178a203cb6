// flarecast-phone: one virtual phone on a TCP port, until SIGINT or SIGTERM (Ctrl+C).
#include <future>

#include "PhoneOptions.h"
#include "bluetooth/io/Console.h"
#include "bluetooth/io/Errors.h"
#include "bluetooth/io/ProgramArguments.h"
#include "bluetooth/native/StopSignals.h"
#include "obex/phone/VirtualPhone.h"

int main(int argc, char** argv) {
    using flarecast::bluetooth::printLine;
    using flarecast::bluetooth::StopSignals;
    // Before any thread starts, so that only the listener takes the signals.
    StopSignals::blockInThisThread();
    flarecast::bluetooth::ProgramArguments arguments(argc, argv);
    CLI::App app("A virtual phone: an OBEX Object Push server that behaves as the options say.",
                 "flarecast-phone");
    flarecast::tools::PhoneOptions options;
    options.addTo(app);
    try {
        app.parse(arguments.count(), arguments.values());
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

    try {
        const flarecast::obex::VirtualPhone phone(options.profile, options.host, options.port);
        printLine("Listening on " + options.host + ":" + std::to_string(phone.port()));
        std::promise<void> ending;
        const StopSignals signals([&ending](int count) {
            if (count == 1) {
                ending.set_value();
            }
        });
        ending.get_future().wait();
    } catch (const flarecast::bluetooth::IOError& error) {
        printLine(error.getMessage());
        return 1;
    }
    return 0;
}
