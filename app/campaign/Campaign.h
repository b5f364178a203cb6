#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>

#include "app/campaign/History.h"
#include "app/campaign/Rules.h"
#include "app/engine/Bluetoothfunctions.h"
#include "app/engine/DeviceGate.h"
#include "app/engine/Pacing.h"
#include "app/engine/PassProgress.h"
#include "app/engine/PushJobs.h"
#include "app/engine/RowSink.h"
#include "app/engine/Wakeup.h"
#include "bluetooth/io/OwnedThread.h"

namespace flarecast::campaign {

struct CampaignSettings {
    std::filesystem::path file;
    Rules rules;
    // The engine's pacing; the rules' push pause and serving while inquiring override it.
    engine::Pacing pacing;
    // Where the campaign's own lines go (a skipped device, the next pass, a failed record):
    // called from the engine's threads, one whole line at a time. Printed when empty.
    std::function<void(const std::string&)> notice{};
};

// Advertising passes under a campaign's rules: one pass, or passes until stop() when the rules
// repeat. Every device found and every push attempt goes to the history, when there is one;
// a device the rules skip prints one line naming the rule and leaves no row. Rows reach `rows`
// as the engine hands them on.
class Campaign final : private engine::DeviceGate,
                       private engine::RowSink,
                       private engine::PassProgress {
public:
    // history may be null (nothing is remembered beyond the campaign); it, rows, jobs and progress
    // must outlive the campaign.
    Campaign(CampaignSettings settings, History* history, engine::RowSink& rows,
             engine::PushJobs& jobs, engine::PassProgress* progress = nullptr);
    // Stops, waits for the pass, then for the push jobs in flight, whose rows come here.
    ~Campaign();
    Campaign(const Campaign&) = delete;
    Campaign& operator=(const Campaign&) = delete;

    void start();
    // Ends the campaign: the running pass is cancelled and no pass follows; pushes in flight
    // go on and end with their rows, and the campaign ends after them.
    void stop();
    // Waits until the last pass and its pushes have ended or bound has passed; true when they
    // have.
    bool waitUntilEnded(std::chrono::milliseconds bound);
    bool ended() const { return finished.load(); }
    // Passes begun so far.
    int passes() const { return begun.load(); }

private:
    void run();
    std::optional<std::string> refusal(const engine::SeenDevice& device) override;
    void searched(const engine::SeenDevice& device, bool offersObjectPush) override;
    void append(const engine::Logfile& row) override;
    // Hands the pass's state on, and keeps the count of its pushes in flight.
    void changed(const engine::PassState& now) override;
    // The pacing of a pass under the rules.
    engine::Pacing passPacing() const;
    void say(const std::string& line) const;

    const CampaignSettings settings;
    History* const history;
    engine::RowSink& rows;
    engine::PushJobs& jobs;
    engine::PassProgress* const progress;
    std::string checksum;
    std::mutex lock;
    // What this campaign learnt of each device, for when the history cannot tell.
    std::map<std::string, DeviceRecord> memory;
    std::atomic<bool> finished{false};
    std::atomic<int> begun{0};
    // The running pass's pushes in flight, as it last reported; under events.
    std::size_t pushing = 0;
    std::stop_source stopping;
    engine::Wakeup events;
    bluetooth::OwnedThread thread;
};

}  // namespace flarecast::campaign
