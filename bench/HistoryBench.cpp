// What a campaign's memory costs per device: the record of a sighting with the rules' look at
// the device's past, and the record of a push, each its own transaction in the write-ahead log,
// in a history that already holds a busy month.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/campaign/History.h"
#include "app/campaign/RuleCheck.h"

namespace {

using flarecast::campaign::Clock;
using flarecast::campaign::History;
using flarecast::campaign::Outcome;
using flarecast::campaign::PushRecord;

class Folder {
public:
    Folder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "flarecast-bench-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    std::filesystem::path path;
};

std::string addressOf(long number) {
    char text[17];
    std::snprintf(text, sizeof text, "%012lx", number & 0xFFFFFFFFFFFFL);
    return text;
}

PushRecord pushTo(long device, Clock::time_point when) {
    return {addressOf(device), "Phone", 0x5a020c, "",     when,
            "/srv/offer.jpg",  "ab",    0xA0,     "Sent", "",
            Outcome::Sent};
}

// A month of a busy shop: 500 devices a day, each seen and pushed once.
void fillMonth(History& history, long devices) {
    const auto start = Clock::now() - std::chrono::hours(24 * 30);
    for (long i = 0; i < devices; ++i) {
        const auto when = start + std::chrono::minutes(i * 30 * 24 * 60 / devices);
        history.recordSeen({addressOf(i), "Phone", 0x5a020c, ""}, when);
        history.recordPush(pushTo(i, when));
    }
}

void BM_SightingAndRules(benchmark::State& state) {
    Folder folder;
    History history(folder.path / "history.sqlite");
    fillMonth(history, state.range(0));
    flarecast::campaign::Rules rules;
    rules.repeat = true;
    long device = 0;
    for (auto _ : state) {
        const auto now = Clock::now();
        const flarecast::engine::SeenDevice seen{addressOf(device++ % state.range(0)), "Phone",
                                                 0x5a020c, ""};
        history.recordSeen(seen, now);
        benchmark::DoNotOptimize(flarecast::campaign::skipReason(
            rules, seen, history.device(seen.address), now, flarecast::campaign::localTimeOf(now)));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SightingAndRules)->Arg(15000)->Unit(benchmark::kMicrosecond);

void BM_PushRecord(benchmark::State& state) {
    Folder folder;
    History history(folder.path / "history.sqlite");
    fillMonth(history, state.range(0));
    long device = state.range(0);
    for (auto _ : state) {
        history.recordPush(pushTo(device++, Clock::now()));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PushRecord)->Arg(15000)->Unit(benchmark::kMicrosecond);

}  // namespace
