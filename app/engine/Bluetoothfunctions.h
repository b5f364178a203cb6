#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

#include "app/engine/Bluetooth.h"
#include "app/engine/Logfile.h"
#include "app/engine/Obexsend.h"
#include "app/engine/Pacing.h"
#include "app/engine/PushJobs.h"
#include "app/engine/RowSink.h"
#include "app/engine/Wakeup.h"
#include "bluetooth/io/OwnedThread.h"

namespace flarecast::engine {

// One advertising pass per worker: an inquiry, an Object Push search on every device not yet
// handled, and a push job for each device that offers the service, in a slot of the program's
// push jobs. stopped is true while no pass runs; running is the window's, and the pass does not
// consult it.
class Bluetoothfunctions {
public:
    Bluetoothfunctions(std::filesystem::path chosenfile, RowSink& tablemodel, PushJobs& pushjobs,
                       Pacing pacing = {});
    // Cancels the pass and waits for it; push jobs belong to pushjobs and go on.
    ~Bluetoothfunctions();
    Bluetoothfunctions(const Bluetoothfunctions&) = delete;
    Bluetoothfunctions& operator=(const Bluetoothfunctions&) = delete;

    void start();
    // Ends the pass early: a running inquiry is cancelled, a search in progress is waited for,
    // and nothing new starts. Push jobs already started go on.
    void cancel();
    // Waits until the pass has ended or bound has passed; true when it has ended.
    bool waitUntilStopped(std::chrono::milliseconds bound);

    std::atomic<bool> running{false};
    std::atomic<bool> stopped{true};

private:
    void run();
    void serve(const bluetooth::RemoteDevice& device);
    void startPush(const std::string& url);
    // Drops the worker's finished jobs.
    void dropFinishedJobs();

    const std::filesystem::path chosenfile;
    RowSink& tablemodel;
    PushJobs& pushjobs;
    const Pacing pacing;
    Bluetooth bluetooth;
    Logfile logfile;
    std::vector<std::string> sentdevices;
    std::mutex jobsLock;
    std::vector<std::shared_ptr<Obexsend>> obexthreads;
    std::stop_source cancelled;
    // Paces the pass and tells a waiter that it has ended.
    Wakeup passEvents;
    bluetooth::OwnedThread thread;
};

}  // namespace flarecast::engine
