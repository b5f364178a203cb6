#include "app/campaign/Campaign.h"

#include <exception>

#include "app/campaign/Checksum.h"
#include "app/campaign/RuleCheck.h"
#include "bluetooth/io/Console.h"
#include "bluetooth/io/Utf8Path.h"

namespace flarecast::campaign {

namespace {

// The hours turn on the local hour, and every time zone's hours begin on a quarter of a UTC
// hour: until the next quarter, nothing changes.
std::chrono::milliseconds untilNextQuarter(Clock::time_point now) {
    using Quarters = std::chrono::duration<long long, std::ratio<900>>;
    const auto next = std::chrono::floor<Quarters>(now) + Quarters(1);
    // A moment past it, so that the clock reads the new hour.
    return std::chrono::ceil<std::chrono::milliseconds>(next - now) + std::chrono::seconds(1);
}

void remember(DeviceRecord& record, Outcome outcome, Clock::time_point when) {
    switch (outcome) {
        case Outcome::Sent:
            record.lastSent = when;
            record.radioFailuresInARow = 0;
            break;
        case Outcome::Declined:
            record.lastDeclined = when;
            record.radioFailuresInARow = 0;
            break;
        case Outcome::RadioFailure:
            record.lastRadioFailure = when;
            ++record.radioFailuresInARow;
            break;
        case Outcome::Cancelled:
            break;
        case Outcome::Failed:
            record.radioFailuresInARow = 0;
            break;
    }
}

}  // namespace

Campaign::Campaign(CampaignSettings settings, History* history, engine::RowSink& rows,
                   engine::PushJobs& jobs, engine::PassProgress* progress)
    : settings(std::move(settings)), history(history), rows(rows), jobs(jobs), progress(progress) {
    if (history != nullptr) {
        try {
            checksum = fileChecksum(this->settings.file);
        } catch (const std::exception&) {
            // The push says so in its row; the history keeps the attempt without a checksum.
        }
    }
}

Campaign::~Campaign() {
    stop();
    thread.join();
    // Their rows come through this campaign.
    jobs.waitUntilAllEnded();
}

void Campaign::start() {
    thread.start([this] { run(); });
}

void Campaign::stop() {
    stopping.request_stop();
}

bool Campaign::waitUntilEnded(std::chrono::milliseconds bound) {
    return events.waitFor(bound, [this] { return finished.load(); });
}

void Campaign::say(const std::string& line) const {
    if (settings.notice) {
        settings.notice(line);
    } else {
        bluetooth::printLine(line);
    }
}

engine::Pacing Campaign::passPacing() const {
    engine::Pacing pacing = settings.pacing;
    if (settings.rules.pushPause) {
        pacing.pushPause = *settings.rules.pushPause;
    }
    pacing.serveWhileInquiring = pacing.serveWhileInquiring || settings.rules.serveWhileInquiring;
    return pacing;
}

void Campaign::run() {
    const std::stop_token stop = stopping.get_token();
    const Rules& rules = settings.rules;
    bool waitingForHours = false;
    while (!stop.stop_requested()) {
        if (rules.repeat && rules.hours && !withinHours(*rules.hours, localTimeOf(Clock::now()))) {
            if (!waitingForHours) {
                say("Outside the campaign's hours: no pass until they begin");
                waitingForHours = true;
            }
            events.sleepFor(stop, untilNextQuarter(Clock::now()));
            continue;
        }
        waitingForHours = false;
        const int number = ++begun;
        if (rules.repeat) {
            say("Pass " + std::to_string(number));
        }
        events.notify([this] { pushing = 0; });
        {
            engine::Bluetoothfunctions worker(settings.file, *this, jobs, passPacing(), this, this);
            worker.running = true;
            // Runs on the thread that stops the campaign; the worker outlives it.
            const std::stop_callback cancelPass(stop, [&worker] { worker.cancel(); });
            worker.start();
            while (!worker.waitUntilStopped(std::chrono::hours(1))) {
            }
            // A pass tells of its pushes only while its worker lives, and the next pass must
            // know how they ended: the worker stays until they have, also after a stop.
            while (!events.waitFor(std::chrono::hours(1), [this] { return pushing == 0; })) {
            }
        }
        if (!rules.repeat) {
            break;
        }
        events.sleepFor(stop, rules.passPause);
    }
    events.notify([this] { finished = true; });
}

std::optional<std::string> Campaign::refusal(const engine::SeenDevice& device) {
    const Clock::time_point now = Clock::now();
    DeviceRecord record;
    {
        const std::lock_guard guard(lock);
        record = memory[device.address];
    }
    if (history != nullptr) {
        try {
            history->recordSeen(device, now);
            record = history->device(device.address);
        } catch (const std::exception& error) {
            // What this campaign has seen still holds.
            say(error.what());
        }
    }
    auto reason = skipReason(settings.rules, device, record, now, localTimeOf(now));
    if (reason) {
        say("Skipped " + device.address + " (" + device.name + "): " + *reason);
    }
    return reason;
}

void Campaign::searched(const engine::SeenDevice& device, bool offersObjectPush) {
    if (!offersObjectPush || history == nullptr) {
        return;
    }
    try {
        history->recordOffering(device.address, Clock::now());
    } catch (const std::exception& error) {
        say(error.what());
    }
}

void Campaign::changed(const engine::PassState& now) {
    events.notify([this, &now] { pushing = now.running; });
    if (progress != nullptr) {
        progress->changed(now);
    }
}

void Campaign::append(const engine::Logfile& row) {
    const Clock::time_point now = Clock::now();
    const Outcome outcome = outcomeOf(row);
    // Recorded before the row is handed on: whoever sees the row finds it in the history.
    if (history != nullptr) {
        try {
            history->recordPush({row.bluetoothaddress, row.bluetoothname, row.deviceClass,
                                 row.adapter, now, bluetooth::utf8Of(settings.file), checksum,
                                 row.responseCode, row.detail, row.error, outcome});
        } catch (const std::exception& error) {
            say(error.what());
        }
    }
    {
        const std::lock_guard guard(lock);
        remember(memory[row.bluetoothaddress], outcome, now);
    }
    rows.append(row);
}

}  // namespace flarecast::campaign
