#include "app/engine/Bluetoothfunctions.h"

#include <algorithm>
#include <exception>

#include "app/engine/DateSent.h"
#include "bluetooth/io/Console.h"

namespace flarecast::engine {

using bluetooth::printLine;

Bluetoothfunctions::Bluetoothfunctions(std::filesystem::path file, RowSink& table, PushJobs& jobs,
                                       Pacing pacing)
    : chosenfile(std::move(file)), tablemodel(table), pushjobs(jobs), pacing(pacing) {}

Bluetoothfunctions::~Bluetoothfunctions() {
    cancel();
    thread.join();
}

void Bluetoothfunctions::start() {
    stopped = false;
    thread.start([this] { run(); });
}

void Bluetoothfunctions::cancel() {
    cancelled.request_stop();
}

bool Bluetoothfunctions::waitUntilStopped(std::chrono::milliseconds bound) {
    return passEvents.waitFor(bound, [this] { return stopped.load(); });
}

void Bluetoothfunctions::run() {
    const std::stop_token stop = cancelled.get_token();
    try {
        bluetooth.devicesearchcompleted = false;
        bluetooth.dodeviceenquiry();
        // Every inquiry reports its end, also when it fails or is cancelled; the listener must
        // outlive that report.
        const auto inquiryEnded = [this] { return bluetooth.devicesearchcompleted.load(); };
        if (!bluetooth.events.waitUntil(stop, pacing.poll, inquiryEnded)) {
            bluetooth.cancelenquiry();
            bluetooth.events.waitUntil({}, pacing.poll, inquiryEnded);
        }
        // The list may grow while it is walked: its length is read again before each device.
        for (std::size_t index = 0; !stop.stop_requested(); ++index) {
            const auto devices = bluetooth.devlist();
            if (index >= devices.size()) {
                break;
            }
            serve(devices[index]);
        }
        passEvents.sleepFor(stop, pacing.endPause);
        std::size_t listed = 0;
        {
            const std::lock_guard guard(jobsLock);
            listed = obexthreads.size();
        }
        printLine(std::to_string(listed));
        dropFinishedJobs();
    } catch (const std::exception& error) {
        printLine(error.what());
    }
    passEvents.notify([this] { stopped = true; });
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
    // Every search reports its end, and the listener must outlive that report, so a cancelled
    // pass still waits for it; the result is looked at once, after it.
    bluetooth.events.waitUntil({}, pacing.poll,
                               [this] { return bluetooth.servicesearchcompleted.load(); });
    if (bluetooth.searchresult == bluetooth::DiscoveryListener::SERVICE_SEARCH_COMPLETED) {
        try {
            logfile.bluetoothname = device.getFriendlyName(true);
            logfile.bluetoothaddress = address;
            logfile.datesent = fullDateTime(std::chrono::system_clock::now());
            if (const auto url = bluetooth.obexurl()) {
                startPush(*url);
            }
        } catch (const std::exception& error) {
            printLine(error.what());
        }
    }
    sentdevices.push_back(address);
}

void Bluetoothfunctions::startPush(const std::string& url) {
    const std::stop_token stop = cancelled.get_token();
    auto slot = pushjobs.reserve(stop, pacing.slotPoll);
    if (!slot) {
        return;
    }
    // A job that has given its slot back is no longer listed.
    dropFinishedJobs();
    auto job = std::make_shared<Obexsend>(url, chosenfile, logfile, tablemodel);
    {
        const std::lock_guard guard(jobsLock);
        obexthreads.push_back(job);
    }
    pushjobs.start(std::move(*slot), std::move(job));
    passEvents.sleepFor(stop, pacing.pushPause);
}

void Bluetoothfunctions::dropFinishedJobs() {
    const std::lock_guard guard(jobsLock);
    std::erase_if(obexthreads, [](const auto& job) { return job->finished(); });
}

}  // namespace flarecast::engine
