#include "app/engine/PushJobs.h"

#include <algorithm>

#include "bluetooth/io/StoppableWaits.h"

namespace flarecast::engine {

PushSlot::~PushSlot() {
    if (jobs != nullptr) {
        jobs->release(adapter);
    }
}

PushJobs::PushJobs(std::size_t limit) : limit(limit) {}

PushJobs::~PushJobs() {
    cancelAll();
    std::vector<std::shared_ptr<Obexsend>> ending;
    {
        const std::lock_guard guard(lock);
        ending.swap(jobs);
    }
    // Dropping the last reference joins each job's thread.
}

std::optional<PushSlot> PushJobs::reserve(std::stop_token stop, std::chrono::milliseconds bound,
                                          int adapter) {
    reapEnded();
    std::unique_lock guard(lock);
    ++waiters;
    std::size_t& taken = inUseOn[adapter];
    while (taken >= limit && !stop.stop_requested()) {
        bluetooth::stoppableWaitFor(slotFreed, guard, stop, bound,
                                    [&taken, this] { return taken < limit; });
    }
    --waiters;
    // After a stop no push starts, even into a free slot.
    if (taken >= limit || stop.stop_requested()) {
        return std::nullopt;
    }
    ++taken;
    ++inUse;
    return PushSlot(*this, adapter);
}

void PushJobs::start(PushSlot slot, std::shared_ptr<Obexsend> job) {
    // The slot goes with the job: the job gives it back when it ends.
    slot.jobs = nullptr;
    {
        const std::lock_guard guard(lock);
        jobs.push_back(job);
    }
    job->start([this, adapter = slot.adapter] { release(adapter); });
}

void PushJobs::release(int adapter) {
    // Woken under the lock: a waiter that sees the slot free may end the owner at once.
    const std::lock_guard guard(lock);
    --inUseOn[adapter];
    --inUse;
    slotFreed.notify_all();
}

void PushJobs::waitUntilAllEnded() {
    std::unique_lock guard(lock);
    slotFreed.wait(guard, [this] { return inUse == 0; });
}

bool PushJobs::waitUntilEnded(const std::vector<std::shared_ptr<Obexsend>>& these,
                              std::stop_token stop, std::chrono::milliseconds limit) {
    std::unique_lock guard(lock);
    // A job ends before it gives its slot back, and that wakes this wait.
    return bluetooth::stoppableWaitFor(slotFreed, guard, stop, limit, [&these] {
        return std::all_of(these.begin(), these.end(),
                           [](const auto& job) { return job->finished(); });
    });
}

void PushJobs::cancelAll() {
    std::vector<std::shared_ptr<Obexsend>> running;
    {
        const std::lock_guard guard(lock);
        running = jobs;
    }
    for (const auto& job : running) {
        job->cancel();
    }
}

std::size_t PushJobs::taken() const {
    const std::lock_guard guard(lock);
    return inUse;
}

std::size_t PushJobs::waiting() const {
    const std::lock_guard guard(lock);
    return waiters;
}

void PushJobs::reapEnded() {
    std::vector<std::shared_ptr<Obexsend>> ended;
    {
        const std::lock_guard guard(lock);
        std::erase_if(jobs, [&ended](const auto& job) {
            if (!job->finished()) {
                return false;
            }
            ended.push_back(job);
            return true;
        });
    }
}

}  // namespace flarecast::engine
