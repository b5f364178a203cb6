#include "app/engine/Bluetoothfunctions.h"

#include <algorithm>
#include <exception>
#include <thread>

#include "app/engine/DateSent.h"
#include "bluetooth/io/Console.h"

namespace flarecast::engine {

using bluetooth::printLine;

Bluetoothfunctions::Bluetoothfunctions(std::filesystem::path file, RowSink& table, Pacing pacing)
    : chosenfile(std::move(file)), tablemodel(table), pacing(pacing) {}

Bluetoothfunctions::~Bluetoothfunctions() {
    thread.join();
    // Jobs still pushing end within the OBEX time limit, each with its row.
    const std::lock_guard guard(jobsLock);
    obexthreads.clear();
}

void Bluetoothfunctions::start() {
    stopped = false;
    thread.start([this] { run(); });
}

void Bluetoothfunctions::pause(std::chrono::milliseconds length) {
    std::this_thread::sleep_for(length);
}

void Bluetoothfunctions::run() {
    try {
        bluetooth.devicesearchcompleted = false;
        bluetooth.dodeviceenquiry();
        // Every inquiry reports its end, also when it fails.
        while (!bluetooth.devicesearchcompleted) {
            pause(pacing.poll);
        }
        for (const auto& device : bluetooth.devlist()) {
            serve(device);
        }
        pause(pacing.endPause);
        std::size_t started = 0;
        {
            const std::lock_guard guard(jobsLock);
            started = obexthreads.size();
        }
        printLine(std::to_string(started));
        dropFinishedJobs();
    } catch (const std::exception& error) {
        printLine(error.what());
    }
    stopped = true;
}

void Bluetoothfunctions::serve(const bluetooth::RemoteDevice& device) {
    const std::string address = device.getBluetoothAddress();
    if (std::find(sentdevices.begin(), sentdevices.end(), address) != sentdevices.end()) {
        return;
    }
    bluetooth.clearObexurl();
    bluetooth.searchresult = 0;
    bluetooth.servicesearchcompleted = false;
    bluetooth.doserviceenquiry(device);
    // Every search reports its end; the result is looked at once, after it.
    while (!bluetooth.servicesearchcompleted) {
        pause(pacing.poll);
    }
    if (bluetooth.searchresult == bluetooth::DiscoveryListener::SERVICE_SEARCH_COMPLETED) {
        try {
            logfile.bluetoothname = device.getFriendlyName(true);
            logfile.bluetoothaddress = address;
            logfile.datesent = fullDateTime(std::chrono::system_clock::now());
            if (const auto url = bluetooth.obexurl()) {
                waitForSlot();
                auto job = std::make_unique<Obexsend>(*url, chosenfile, logfile, tablemodel);
                job->start();
                {
                    const std::lock_guard guard(jobsLock);
                    obexthreads.push_back(std::move(job));
                }
                pause(pacing.pushPause);
            }
        } catch (const std::exception& error) {
            printLine(error.what());
        }
    }
    sentdevices.push_back(address);
}

std::size_t Bluetoothfunctions::dropFinishedJobs() {
    std::vector<std::unique_ptr<Obexsend>> finished;
    const std::lock_guard guard(jobsLock);
    for (auto& job : obexthreads) {
        if (job->finished()) {
            finished.push_back(std::move(job));
        }
    }
    std::erase(obexthreads, nullptr);
    return obexthreads.size();
}

void Bluetoothfunctions::waitForSlot() {
    while (dropFinishedJobs() >= pacing.pushSlots) {
        pause(pacing.slotPoll);
    }
}

}  // namespace flarecast::engine
