#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/engine/Bluetooth.h"
#include "app/engine/Logfile.h"
#include "app/engine/Obexsend.h"
#include "app/engine/Pacing.h"
#include "app/engine/RowSink.h"
#include "bluetooth/io/OwnedThread.h"

namespace flarecast::engine {

// One advertising pass per worker: an inquiry, an Object Push search on every device not yet
// handled, and a push job for each device that offers the service, at most pacing.pushSlots at
// once. stopped is true while no pass runs; running is the window's, and the pass does not
// consult it.
class Bluetoothfunctions {
public:
    Bluetoothfunctions(std::filesystem::path chosenfile, RowSink& tablemodel, Pacing pacing = {});
    // Waits for the pass and for the push jobs still running; each ends within the OBEX time
    // limit.
    ~Bluetoothfunctions();
    Bluetoothfunctions(const Bluetoothfunctions&) = delete;
    Bluetoothfunctions& operator=(const Bluetoothfunctions&) = delete;

    void start();

    std::atomic<bool> running{false};
    std::atomic<bool> stopped{true};

private:
    void run();
    void serve(const bluetooth::RemoteDevice& device);
    // Drops the finished jobs, then waits while every slot is taken.
    void waitForSlot();
    std::size_t dropFinishedJobs();
    void pause(std::chrono::milliseconds length);

    const std::filesystem::path chosenfile;
    RowSink& tablemodel;
    const Pacing pacing;
    Bluetooth bluetooth;
    Logfile logfile;
    std::vector<std::string> sentdevices;
    std::mutex jobsLock;
    std::vector<std::unique_ptr<Obexsend>> obexthreads;
    bluetooth::OwnedThread thread;
};

}  // namespace flarecast::engine
