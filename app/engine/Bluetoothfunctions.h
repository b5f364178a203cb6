#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

#include "app/engine/Bluetooth.h"
#include "app/engine/DeviceGate.h"
#include "app/engine/Logfile.h"
#include "app/engine/Obexsend.h"
#include "app/engine/Pacing.h"
#include "app/engine/PassProgress.h"
#include "app/engine/PushJobs.h"
#include "app/engine/RowSink.h"
#include "app/engine/Wakeup.h"
#include "bluetooth/io/OwnedThread.h"

namespace flarecast::engine {

// One advertising pass per worker: an inquiry, an Object Push search on every device not yet
// handled, and a push job for each device that offers the service, in a slot of the program's
// push jobs. On several local adapters each runs its own inquiry, searches and slots, and a
// device is served once, by the adapter that reaches it first. stopped is true while no pass
// runs; running is the window's, and the pass does not consult it.
class Bluetoothfunctions {
public:
    // gate, when given, decides for each device found whether it is served; like progress it
    // is called from the engine's threads and must outlive this worker.
    // progress, when given, is told where the pass stands, one call at a time in the order of
    // the changes, from the engine's threads (the inquiries', the lanes', the push jobs'), and
    // never once the destructor has returned: it must outlive this worker, and nothing more.
    // A push job that ends later still appends its row to tablemodel, but progress no longer
    // hears of it. changed() must not call back into this worker.
    Bluetoothfunctions(std::filesystem::path chosenfile, RowSink& tablemodel, PushJobs& pushjobs,
                       Pacing pacing = {}, PassProgress* progress = nullptr,
                       DeviceGate* gate = nullptr);
    // Cancels the pass and waits for it; push jobs belong to pushjobs and go on.
    ~Bluetoothfunctions();
    Bluetoothfunctions(const Bluetoothfunctions&) = delete;
    Bluetoothfunctions& operator=(const Bluetoothfunctions&) = delete;

    void start();
    // Ends the pass early: a running inquiry is cancelled, a search in progress is waited for,
    // and nothing new starts. Push jobs already started go on. The pass no longer reports
    // Finished, unless it already has.
    void cancel();
    // Waits until the pass has ended or bound has passed; true when it has ended.
    bool waitUntilStopped(std::chrono::milliseconds bound);

    std::atomic<bool> running{false};
    std::atomic<bool> stopped{true};

private:
    // Where the pass stands; its push jobs share it and append their rows through it.
    class Reporter;

    // One local adapter's share of the pass.
    struct Lane {
        Lane(int adapter, std::string name)
            : adapter(adapter), name(std::move(name)), bluetooth(adapter) {}
        const int adapter;
        // Empty when the program runs on one adapter.
        const std::string name;
        Bluetooth bluetooth;
        Logfile logfile;
        bluetooth::OwnedThread thread;
    };

    void run();
    void runLane(Lane& lane, const std::stop_token& stop);
    void serve(Lane& lane, const bluetooth::RemoteDevice& device, std::int32_t deviceClass);
    void startPush(Lane& lane, const std::string& url);
    // True for the first lane to ask for the address in this pass.
    bool claim(const std::string& address);
    // Drops the worker's finished jobs.
    void dropFinishedJobs();

    const std::filesystem::path chosenfile;
    PushJobs& pushjobs;
    const Pacing pacing;
    DeviceGate* const gate;
    // Before the lanes, whose inquiries report to it.
    const std::shared_ptr<Reporter> reporter;
    std::vector<std::unique_ptr<Lane>> lanes;
    std::mutex sentLock;
    std::vector<std::string> sentdevices;
    std::mutex jobsLock;
    std::vector<std::shared_ptr<Obexsend>> obexthreads;
    std::stop_source cancelled;
    // Paces the pass and tells a waiter that it has ended.
    Wakeup passEvents;
    bluetooth::OwnedThread thread;
};

}  // namespace flarecast::engine
