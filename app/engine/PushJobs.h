#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <utility>
#include <vector>

#include "app/engine/Obexsend.h"

namespace flarecast::engine {

class PushJobs;

// A reserved push slot; given back when dropped unless a job took it.
class PushSlot {
public:
    PushSlot(PushSlot&& other) noexcept
        : jobs(std::exchange(other.jobs, nullptr)), adapter(other.adapter) {}
    PushSlot& operator=(PushSlot&&) = delete;
    PushSlot(const PushSlot&) = delete;
    PushSlot& operator=(const PushSlot&) = delete;
    ~PushSlot();

private:
    friend class PushJobs;
    PushSlot(PushJobs& jobs, int adapter) : jobs(&jobs), adapter(adapter) {}
    PushJobs* jobs;
    int adapter;
};

// The program's push jobs, whichever worker started them: at most `limit` run at once through
// each local adapter, and a job holds its slot until it ends, also after the worker that started
// it is gone. Jobs still running when the owner goes are cancelled, end with their rows, and are
// joined.
class PushJobs {
public:
    explicit PushJobs(std::size_t limit = 5);
    ~PushJobs();
    PushJobs(const PushJobs&) = delete;
    PushJobs& operator=(const PushJobs&) = delete;

    // Waits for a free slot of the adapter, looking again at least every bound; empty when stop
    // came first.
    std::optional<PushSlot> reserve(std::stop_token stop, std::chrono::milliseconds bound,
                                    int adapter = 0);
    // Starts the job in the slot; the job is kept until it ends.
    void start(PushSlot slot, std::shared_ptr<Obexsend> job);
    // Waits until every job has ended, each with its row; each ends within the OBEX time limit.
    void waitUntilAllEnded();
    // Waits until each of these jobs has ended, at most limit and not after stop; true when
    // they have.
    bool waitUntilEnded(const std::vector<std::shared_ptr<Obexsend>>& these, std::stop_token stop,
                        std::chrono::milliseconds limit);
    // Ends every job in flight now: its connection closes and its row says not sent.
    void cancelAll();
    // Slots taken on all adapters, by jobs or by reservations.
    std::size_t taken() const;
    // Reservations waiting for a slot.
    std::size_t waiting() const;

private:
    friend class PushSlot;
    void release(int adapter);
    // Joins the jobs that have ended; their threads are done but for the last step.
    void reapEnded();

    const std::size_t limit;
    mutable std::mutex lock;
    std::condition_variable_any slotFreed;
    std::size_t inUse = 0;
    // Slots taken per adapter.
    std::map<int, std::size_t> inUseOn;
    std::size_t waiters = 0;
    std::vector<std::shared_ptr<Obexsend>> jobs;
};

}  // namespace flarecast::engine
