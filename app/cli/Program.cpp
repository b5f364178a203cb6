#include "app/cli/Program.h"

#include <CLI/CLI.hpp>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/campaign/Campaign.h"
#include "app/campaign/History.h"
#include "app/cli/CsvLog.h"
#include "app/cli/FileCheck.h"
#include "app/cli/Options.h"
#include "app/cli/RowOutput.h"
#include "app/cli/RowText.h"
#include "app/cli/Terminal.h"
#include "app/engine/PushJobs.h"
#include "bluetooth/io/Console.h"
#include "bluetooth/io/Environment.h"
#include "bluetooth/io/Utf8Path.h"
#include "bluetooth/native/NativeStackFactory.h"
#include "bluetooth/native/StopSignals.h"
#include "bluetooth/native/neighbourhood/NeighbourhoodFile.h"
#include "obex/phone/VirtualPhoneLauncher.h"

namespace flarecast::cli {

namespace {

constexpr int kRan = 0;
constexpr int kCannotUse = 1;
constexpr int kBadOptions = 2;

void printError(const std::string& line) {
    Terminal(false).err("flarecast-cli: " + line);
}

std::string oneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

int report(const Options& options) {
    Terminal terminal(false);
    std::vector<campaign::DayTotals> days;
    std::error_code error;
    // A report creates no history where there was none.
    if (std::filesystem::exists(options.history, error)) {
        campaign::History history(options.history);
        days = history.totalsPerDay();
    } else {
        terminal.err("No history at " + bluetooth::utf8Of(options.history) + " yet");
    }
    for (const auto& line : options.json ? reportJson(days) : reportTable(days)) {
        terminal.out(line);
    }
    return kRan;
}

int runCampaign(const Options& options) {
    if (const auto problem = whyUnusable(options.file)) {
        printError(*problem);
        return kCannotUse;
    }
    // Without a history the rules could not keep their word across runs.
    campaign::History history(options.history);
    std::unique_ptr<CsvLog> csv;
    if (!options.csv.empty()) {
        csv = std::make_unique<CsvLog>(options.csv);
    }

    // Before anything chooses the native stack: the neighbourhood's phones run in this program.
    bluetooth::installVirtualPhoneHost(std::make_shared<obex::VirtualPhoneLauncher>());
    Terminal terminal(isTerminal(stderr));
    {
        // Whatever keeps the stack from working (no radio, a neighbourhood file that does not
        // read) is said, asked for or not: without it every pass finds nothing, silently.
        const bluetooth::ConsoleRedirect choosing(
            [&terminal](std::string_view line) { terminal.err(printable(line)); });
        bluetooth::nativeStack();
    }
    // Standard output is for the rows alone, JSON or for a person. The engine's diagnostics
    // say what each row already says, step by step: only asked for do they go to standard error.
    const bluetooth::ConsoleRedirect diagnostics([&terminal, &options](std::string_view line) {
        if (options.verbose) {
            terminal.err(printable(line));
        }
    });
    if (bluetooth::environmentVariable("FLARECAST_NEIGHBOURHOOD") == "demo") {
        terminal.err("The demo phones save what they receive in " +
                     bluetooth::utf8Of(bluetooth::demoInbox()));
    }

    RowOutput rows(terminal, csv.get(), options.json);
    std::atomic<campaign::Campaign*> running{nullptr};
    ProgressLine progress(terminal, [&running] {
        const campaign::Campaign* campaign = running.load();
        return campaign == nullptr ? 0 : campaign->passes();
    });
    campaign::CampaignSettings settings{
        options.file, options.rules, engine::Pacing{},
        [&terminal](const std::string& line) { terminal.err(printable(line)); }};
    engine::PushJobs jobs(settings.pacing.pushSlots);
    campaign::Campaign campaign(settings, &history, rows, jobs, &progress);
    running = &campaign;

    std::atomic<bool> now{false};
    const bluetooth::StopSignals signals([&](int count) {
        if (count == 1) {
            terminal.err("Stopping after the pushes in flight; press Ctrl+C again to stop now");
            campaign.stop();
        } else {
            terminal.err("Stopping now: the pushes in flight are cancelled");
            now = true;
            campaign.stop();
            jobs.cancelAll();
        }
    });
    campaign.start();
    while (!campaign.waitUntilEnded(std::chrono::hours(1))) {
    }
    // A push the last pass started as the second signal came.
    if (now) {
        jobs.cancelAll();
    }
    jobs.waitUntilAllEnded();
    terminal.endProgress();
    terminal.err("Ended after " + std::to_string(campaign.passes()) +
                 (campaign.passes() == 1 ? " pass: " : " passes: ") + std::to_string(rows.sent()) +
                 " sent, " + std::to_string(rows.notSent()) + " not sent");
    return kRan;
}

}  // namespace

int runProgram(int argc, char** argv) {
    // Before any thread starts, so that every thread has them blocked and StopSignals takes
    // them.
    bluetooth::StopSignals::blockInThisThread();
    CLI::App app(
        "Pushes a file over Bluetooth to every phone nearby, as the window does, under "
        "a campaign's rules, with a history of every device and push.",
        "flarecast-cli");
    Options options;
    options.addTo(app);
    try {
        app.parse(argc, argv);
        options.finish();
    } catch (const CLI::CallForHelp&) {
        std::string help = app.help();
        help.erase(help.find_last_not_of('\n') + 1);
        Terminal(false).out(help);
        return kRan;
    } catch (const CLI::ParseError& error) {
        printError(oneLine(error.what()) + ". Run with --help for usage.");
        return kBadOptions;
    }
    // Read when the native stack is chosen, at the first pass.
    if (!options.neighbourhood.empty()) {
        bluetooth::setEnvironmentVariable("FLARECAST_NEIGHBOURHOOD", options.neighbourhood);
    }
    if (!options.adapter.empty()) {
        bluetooth::setEnvironmentVariable("FLARECAST_ADAPTER", options.adapter);
    }
    try {
        return options.report ? report(options) : runCampaign(options);
    } catch (const std::exception& error) {
        // The history's, the log's and the file's errors are one line with the path.
        printError(oneLine(error.what()));
        return kCannotUse;
    }
}

}  // namespace flarecast::cli
