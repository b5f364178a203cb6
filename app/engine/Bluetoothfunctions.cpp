#include "app/engine/Bluetoothfunctions.h"

#include <algorithm>
#include <exception>
#include <set>

#include "app/engine/DateSent.h"
#include "bluetooth/discovery/LocalDevice.h"
#include "bluetooth/io/Console.h"

namespace flarecast::engine {

using bluetooth::printLine;

namespace {

std::vector<std::string> adapterNames() {
    return bluetooth::LocalDevice::getLocalDevice().getBluetoothPeer().adapters();
}

}  // namespace

// Changes and reports go under one lock, so that the listener hears them in the order they
// happened. Each lane inquires and searches one at a time, so counts of lanes doing either give
// the phase.
class Bluetoothfunctions::Reporter final : public RowSink {
public:
    Reporter(RowSink& table, PassProgress* listener) : table(table), listener(listener) {}

    void inquiryStarted(std::chrono::milliseconds length) {
        const std::lock_guard guard(lock);
        ++inquiring;
        now.inquiryLength = length;
        now.inquiryBegan = std::chrono::steady_clock::now();
        report();
    }
    void inquiryEnded() {
        const std::lock_guard guard(lock);
        --inquiring;
    }
    void found(const std::string& address) {
        const std::lock_guard guard(lock);
        if (seen.insert(address).second) {
            ++now.found;
            report();
        }
    }
    void searchStarted() {
        const std::lock_guard guard(lock);
        ++searching;
        report();
    }
    void searchEnded(bool offering) {
        const std::lock_guard guard(lock);
        --searching;
        if (offering) {
            ++now.offering;
            report();
        }
    }
    void pushStarted() {
        const std::lock_guard guard(lock);
        ++now.running;
        report();
    }
    // A push job's last row: the job has ended.
    void append(const Logfile& row) override {
        table.append(row);
        const std::lock_guard guard(lock);
        --now.running;
        ++(row.sent ? now.sent : now.notSent);
        report();
        finishWhenDone();
    }
    // The pass ended, cancelled or not.
    void passEnded() {
        const std::lock_guard guard(lock);
        ended = true;
        finishWhenDone();
    }
    void cancel() {
        const std::lock_guard guard(lock);
        cancelled = true;
    }
    // Waits for a report under way; none comes after.
    void detach() {
        const std::lock_guard guard(lock);
        listener = nullptr;
    }

private:
    void report() {
        if (finished) {
            return;
        }
        now.phase = inquiring > 0   ? PassPhase::Inquiring
                    : searching > 0 ? PassPhase::Searching
                                    : PassPhase::Pushing;
        tell();
    }
    void finishWhenDone() {
        if (finished || !ended || cancelled || now.running > 0) {
            return;
        }
        finished = true;
        now.phase = PassPhase::Finished;
        tell();
    }
    void tell() {
        if (listener == nullptr) {
            return;
        }
        try {
            listener->changed(now);
        } catch (const std::exception& error) {
            printLine(error.what());
        }
    }

    RowSink& table;
    std::mutex lock;
    PassProgress* listener;
    PassState now;
    std::set<std::string> seen;
    std::size_t inquiring = 0;
    std::size_t searching = 0;
    bool ended = false;
    bool cancelled = false;
    bool finished = false;
};

namespace {

// A push job that keeps its pass's reporter, through which its row goes, as long as it lives.
struct ReportingJob {
    template <typename... Args>
    explicit ReportingJob(std::shared_ptr<RowSink> rows, Args&&... args)
        : rows(std::move(rows)), job(std::forward<Args>(args)..., *this->rows) {}
    // Before the job, so that it goes after it.
    const std::shared_ptr<RowSink> rows;
    Obexsend job;
};

}  // namespace

Bluetoothfunctions::Bluetoothfunctions(std::filesystem::path file, RowSink& table, PushJobs& jobs,
                                       Pacing pacing, PassProgress* progress, DeviceGate* gate)
    : chosenfile(std::move(file)),
      pushjobs(jobs),
      pacing(pacing),
      gate(gate),
      reporter(std::make_shared<Reporter>(table, progress)) {
    const auto names = adapterNames();
    if (names.size() <= 1) {
        lanes.push_back(std::make_unique<Lane>(0, ""));
    } else {
        for (std::size_t i = 0; i < names.size(); ++i) {
            lanes.push_back(std::make_unique<Lane>(static_cast<int>(i), names[i]));
        }
    }
    // The lanes wait for their inquiries' ends, so these end before the worker goes.
    for (const auto& lane : lanes) {
        lane->bluetooth.whenFound = [&reporter = *reporter](const bluetooth::RemoteDevice& device) {
            reporter.found(device.getBluetoothAddress());
        };
        lane->bluetooth.whenInquiryEnded = [&reporter = *reporter] { reporter.inquiryEnded(); };
    }
}

Bluetoothfunctions::~Bluetoothfunctions() {
    cancel();
    thread.join();
    reporter->detach();
}

void Bluetoothfunctions::start() {
    stopped = false;
    thread.start([this] { run(); });
}

void Bluetoothfunctions::cancel() {
    reporter->cancel();
    cancelled.request_stop();
}

bool Bluetoothfunctions::waitUntilStopped(std::chrono::milliseconds bound) {
    return passEvents.waitFor(bound, [this] { return stopped.load(); });
}

void Bluetoothfunctions::run() {
    const std::stop_token stop = cancelled.get_token();
    try {
        // The first adapter's share runs on this thread, every other on a thread of its own.
        for (std::size_t i = 1; i < lanes.size(); ++i) {
            lanes[i]->thread.start([this, &lane = *lanes[i], stop] { runLane(lane, stop); });
        }
        runLane(*lanes.front(), stop);
        for (std::size_t i = 1; i < lanes.size(); ++i) {
            lanes[i]->thread.join();
        }
        std::vector<std::shared_ptr<Obexsend>> listed;
        {
            const std::lock_guard guard(jobsLock);
            listed = obexthreads;
        }
        pushjobs.waitUntilEnded(listed, stop, pacing.endPause);
        printLine(std::to_string(listed.size()));
        dropFinishedJobs();
    } catch (const std::exception& error) {
        printLine(error.what());
    }
    // Before stopped: a worker seen stopped may be destroyed, which cancels.
    reporter->passEnded();
    passEvents.notify([this] { stopped = true; });
}

void Bluetoothfunctions::runLane(Lane& lane, const std::stop_token& stop) {
    Bluetooth& bluetooth = lane.bluetooth;
    try {
        bluetooth.devicesearchcompleted = false;
        reporter->inquiryStarted(bluetooth.inquiryLength());
        bluetooth.dodeviceenquiry();
        const auto inquiryEnded = [&bluetooth] { return bluetooth.devicesearchcompleted.load(); };
        // The list may grow while it is walked: its length is read again before each device.
        std::size_t index = 0;
        const auto nextReady = [&] {
            return inquiryEnded() ||
                   (pacing.serveWhileInquiring && index < bluetooth.deviceCount());
        };
        while (bluetooth.events.waitUntil(stop, pacing.poll, nextReady)) {
            const auto device = bluetooth.deviceAt(index);
            if (!device) {
                break;
            }
            serve(lane, *device, bluetooth.deviceClassAt(index));
            ++index;
        }
    } catch (const std::exception& error) {
        printLine(error.what());
    }
    // Every inquiry reports its end, also when it fails or is cancelled; the listener must
    // outlive that report.
    if (!bluetooth.devicesearchcompleted) {
        bluetooth.cancelenquiry();
        bluetooth.events.waitUntil({}, pacing.poll,
                                   [&bluetooth] { return bluetooth.devicesearchcompleted.load(); });
    }
}

bool Bluetoothfunctions::claim(const std::string& address) {
    const std::lock_guard guard(sentLock);
    if (std::find(sentdevices.begin(), sentdevices.end(), address) != sentdevices.end()) {
        return false;
    }
    sentdevices.push_back(address);
    return true;
}

void Bluetoothfunctions::serve(Lane& lane, const bluetooth::RemoteDevice& device,
                               std::int32_t deviceClass) {
    const std::string address = device.getBluetoothAddress();
    // Claimed before the search: another adapter that found it too must not search it as well.
    if (!claim(address)) {
        return;
    }
    const SeenDevice seen{address, device.getFriendlyName(false), deviceClass, lane.name};
    if (gate != nullptr) {
        std::optional<std::string> refusal;
        try {
            refusal = gate->refusal(seen);
        } catch (const std::exception& error) {
            // A gate that cannot decide lets the device through rather than lose it.
            printLine(error.what());
        }
        if (refusal) {
            return;
        }
    }
    Bluetooth& bluetooth = lane.bluetooth;
    bluetooth.clearObexurl();
    bluetooth.searchresult = 0;
    bluetooth.servicesearchcompleted = false;
    reporter->searchStarted();
    bluetooth.doserviceenquiry(device);
    // Every search reports its end, and the listener must outlive that report, so a cancelled
    // pass still waits for it; the result is looked at once, after it.
    bluetooth.events.waitUntil({}, pacing.poll,
                               [&bluetooth] { return bluetooth.servicesearchcompleted.load(); });
    const bool offering =
        bluetooth.searchresult == bluetooth::DiscoveryListener::SERVICE_SEARCH_COMPLETED &&
        bluetooth.obexurl().has_value();
    reporter->searchEnded(offering);
    if (gate != nullptr) {
        try {
            gate->searched(seen, offering);
        } catch (const std::exception& error) {
            printLine(error.what());
        }
    }
    if (bluetooth.searchresult == bluetooth::DiscoveryListener::SERVICE_SEARCH_COMPLETED) {
        try {
            lane.logfile.bluetoothname = device.getFriendlyName(true);
            lane.logfile.bluetoothaddress = address;
            lane.logfile.datesent = fullDateTime(std::chrono::system_clock::now());
            lane.logfile.adapter = lane.name;
            lane.logfile.deviceClass = deviceClass;
            if (const auto url = bluetooth.obexurl()) {
                startPush(lane, *url);
            }
        } catch (const std::exception& error) {
            printLine(error.what());
        }
    }
}

void Bluetoothfunctions::startPush(Lane& lane, const std::string& url) {
    const std::stop_token stop = cancelled.get_token();
    auto slot = pushjobs.reserve(stop, pacing.slotPoll, lane.adapter);
    if (!slot) {
        return;
    }
    // A job that has given its slot back is no longer listed.
    dropFinishedJobs();
    // The device is reached through the adapter that found it.
    const std::string through = lane.name.empty() ? url : url + ";adapter=" + lane.name;
    const auto holder = std::make_shared<ReportingJob>(reporter, through, chosenfile, lane.logfile);
    std::shared_ptr<Obexsend> job(holder, &holder->job);
    {
        const std::lock_guard guard(jobsLock);
        obexthreads.push_back(job);
    }
    // Before the job starts, which may end at once.
    reporter->pushStarted();
    pushjobs.start(std::move(*slot), std::move(job));
    passEvents.sleepFor(stop, pacing.pushPause);
}

void Bluetoothfunctions::dropFinishedJobs() {
    const std::lock_guard guard(jobsLock);
    std::erase_if(obexthreads, [](const auto& job) { return job->finished(); });
}

}  // namespace flarecast::engine
