#include "app/cli/Options.h"

#include <optional>

#include "app/campaign/History.h"
#include "app/cli/OptionText.h"
#include "bluetooth/io/Utf8Path.h"

namespace flarecast::cli {

namespace {

constexpr int kWeek = 7 * 24 * 60 * 60;
constexpr int kMinuteMs = 60 * 1000;
constexpr int kMostRetries = 1000;

// Each check gives CLI11 the reason a value is refused, or nothing.
template <typename Parse>
CLI::Validator accepting(Parse parse, std::string refusal) {
    return CLI::Validator(
        [parse, refusal](std::string& text) -> std::string {
            return parse(text) ? std::string{} : "\"" + text + "\" " + refusal;
        },
        "");
}

CLI::Validator duration() {
    return accepting(durationOf, "is not a duration such as 90s, 10m, 24h or 7d");
}

CLI::Validator address() {
    return accepting(campaign::normalAddress,
                     "is neither a device address (00:12:34:56:78:9A) nor a maker prefix "
                     "(00:12:34)");
}

void addDevices(campaign::DeviceList& list, const std::vector<std::string>& devices,
                const std::vector<std::string>& names) {
    for (const auto& text : devices) {
        const std::string normal = campaign::normalAddress(text).value_or("");
        // A maker's prefix is the first half of an address.
        (normal.size() == 12 ? list.addresses : list.prefixes).push_back(normal);
    }
    list.names.insert(list.names.end(), names.begin(), names.end());
}

}  // namespace

void Options::addTo(CLI::App& app) {
    historyText = bluetooth::utf8Of(campaign::History::defaultPath());
    auto* fileOption =
        app.add_option("--file", fileText, "the file to push (required but for --report)")
            ->type_name("PATH");
    app.add_option("--neighbourhood", neighbourhood,
                   "simulated devices: a neighbourhood JSON file, or demo")
        ->type_name("FILE|demo");
    app.add_option("--adapter", adapter,
                   "Bluetooth adapters to use: hciN or an address, several separated by commas, "
                   "or all")
        ->type_name("NAME[,NAME]");
    app.add_flag("--repeat", rules.repeat, "run passes until stopped");
    app.add_option("--pause", pauseSeconds, "seconds between passes")
        ->type_name("SECONDS")
        ->check(CLI::Range(0, kWeek))
        ->capture_default_str();
    pushPauseOption =
        app.add_option("--push-pause", pushPauseMs, "milliseconds between the starts of two pushes")
            ->type_name("MS")
            ->check(CLI::Range(0, kMinuteMs));
    app.add_option("--no-repeat-within", acceptedWindow,
                   "do not push a device again this long after it accepted (24h with --repeat; "
                   "0 is off)")
        ->type_name("DURATION")
        ->check(duration());
    retryOption = app.add_option("--retry", retryTimes,
                                 "times to try a device again after the radio or the link failed")
                      ->type_name("N")
                      ->check(CLI::Range(0, kMostRetries));
    app.add_option("--retry-after", retryAfter, "how long to wait before each such try")
        ->type_name("DURATION")
        ->check(duration());
    app.add_option("--skip-declined", declinedWindow,
                   "do not push a device again this long after it declined")
        ->type_name("DURATION")
        ->check(duration());
    auto* classesOption =
        app.add_option("--classes", classes,
                       "push only devices of these major classes: phone, computer, "
                       "audio/video, ...")
            ->type_name("CLASS[,CLASS]")
            ->delimiter(',')
            ->check(accepting(majorClassOf, "is not a major device class"));
    app.add_flag("--only-phones", onlyPhones, "push only phones (--classes phone)")
        ->excludes(classesOption);
    app.add_option("--allow", allow, "push only these devices: an address or a maker prefix")
        ->type_name("ADDRESS|PREFIX")
        ->check(address());
    app.add_option("--block", block, "never push these devices: an address or a maker prefix")
        ->type_name("ADDRESS|PREFIX")
        ->check(address());
    app.add_option("--allow-name", allowNames,
                   "push only devices whose name matches: * and ? as in the shell, any case")
        ->type_name("PATTERN");
    app.add_option("--block-name", blockNames, "never push devices whose name matches")
        ->type_name("PATTERN");
    app.add_option("--hours", hours, "push only between these hours, local time: 9-18, 22-6")
        ->type_name("FROM-TO")
        ->check(accepting(hoursOf, "is not a span of hours such as 9-18"));
    app.add_option("--days", days, "push only on these days: mon-fri, or mon,wed,sat")
        ->type_name("DAYS")
        ->check(accepting(daysOf, "is not a list of days such as mon-fri or sat,sun"));
    app.add_flag("--serve-while-inquiring", rules.serveWhileInquiring,
                 "search and push each device as soon as the inquiry finds it");
    app.add_option("--history", historyText, "the history's SQLite file")
        ->type_name("PATH")
        ->capture_default_str();
    app.add_option("--csv", csvText, "append a row to this CSV file after every push")
        ->type_name("PATH");
    app.add_flag("--verbose", verbose, "also the engine's diagnostics, on standard error");
    app.add_flag("--json", json, "one JSON object a line on standard output, nothing else there");
    app.add_flag("--report", report, "print the history's totals per day, then end")
        ->excludes(fileOption);
    app.footer(
        "A DURATION is a number with s, m, h or d after it (90s, 10m, 24h, 7d); a plain number is "
        "minutes.\n"
        "Exit status: 0 when the campaign ran (also when it found no device), 1 when the file or "
        "the history cannot be used, 2 for options it does not take.");
}

void Options::finish() {
    file = bluetooth::pathFromUtf8(fileText);
    history = bluetooth::pathFromUtf8(historyText);
    csv = bluetooth::pathFromUtf8(csvText);
    if (!report && file.empty()) {
        throw CLI::RequiredError("--file");
    }
    rules.passPause = std::chrono::seconds(pauseSeconds);
    if (pushPauseOption->count() > 0) {
        rules.pushPause = std::chrono::milliseconds(pushPauseMs);
    }
    if (!acceptedWindow.empty()) {
        rules.acceptedWindow = wholeMinutes(*durationOf(acceptedWindow));
    }
    if (retryOption->count() > 0 || !retryAfter.empty()) {
        campaign::Retry retry;
        retry.times = retryTimes;
        if (!retryAfter.empty()) {
            retry.delay = wholeMinutes(*durationOf(retryAfter));
        }
        rules.retry = retry;
    }
    if (!declinedWindow.empty()) {
        rules.declinedWindow = wholeMinutes(*durationOf(declinedWindow));
    }
    if (onlyPhones) {
        rules.majorClasses = std::set<int>{campaign::kMajorPhone};
    } else if (!classes.empty()) {
        std::set<int> majors;
        for (const auto& name : classes) {
            majors.insert(*majorClassOf(name));
        }
        rules.majorClasses = majors;
    }
    addDevices(rules.allow, allow, allowNames);
    addDevices(rules.block, block, blockNames);
    if (!hours.empty() || !days.empty()) {
        campaign::Hours when;
        if (!hours.empty()) {
            std::tie(when.from, when.to) = *hoursOf(hours);
        }
        if (!days.empty()) {
            when.days = *daysOf(days);
        }
        rules.hours = when;
    }
}

}  // namespace flarecast::cli
