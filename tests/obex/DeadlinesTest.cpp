#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "obex/server/Deadlines.h"

namespace flarecast::obex {
namespace {

using std::chrono::milliseconds;

// A wait that only the expiry ends.
struct Gate {
    std::mutex lock;
    std::condition_variable opened;
    bool open = false;

    void release() {
        const std::lock_guard guard(lock);
        open = true;
        opened.notify_all();
    }
    bool wait() {
        std::unique_lock guard(lock);
        opened.wait(guard, [this] { return open; });
        return true;
    }
};

std::string errorOf(const std::function<void()>& action) {
    try {
        action();
        return "no error";
    } catch (const bluetooth::IOError& error) {
        return error.getMessage();
    }
}

TEST(Deadlines, AStepThatOutlastsItsLimitIsEndedByTheExpiry) {
    const auto deadlines = std::make_shared<Deadlines>();
    Gate gate;
    Deadlines::Timer timer(deadlines, [&] { gate.release(); });
    // The step ends normally, but only because the expiry ended its wait.
    EXPECT_EQ(errorOf([&] { timer.within(milliseconds(10), [&] { return gate.wait(); }); }),
              "No response from the peer");
    // A step in time gives its result, and its timer may be armed again.
    EXPECT_EQ(timer.within(std::chrono::hours(1), [] { return 7; }), 7);
    EXPECT_EQ(errorOf([&] {
                  timer.within(std::chrono::hours(1), [&]() -> bool {
                      throw bluetooth::IOError("closed under the step");
                  });
              }),
              "closed under the step");
}

TEST(Deadlines, EachExpiryEndsTheOneStepItCameIn) {
    // Several sessions arm, disarm and go while the one thread fires their expiries.
    const auto deadlines = std::make_shared<Deadlines>();
    std::vector<std::thread> sessions;
    std::vector<int> mismatches(8);
    for (std::size_t i = 0; i < mismatches.size(); ++i) {
        sessions.emplace_back([&, i] {
            for (int round = 0; round < 200; ++round) {
                std::atomic<int> expiries{0};
                int ended = 0;
                {
                    Deadlines::Timer timer(deadlines, [&] { ++expiries; });
                    for (int step = 0; step < 3; ++step) {
                        try {
                            timer.within(milliseconds(step), [] { return true; });
                        } catch (const bluetooth::IOError&) {
                            ++ended;
                        }
                    }
                }
                mismatches[i] += expiries != ended ? 1 : 0;
            }
        });
    }
    for (auto& session : sessions) {
        session.join();
    }
    EXPECT_EQ(mismatches, std::vector<int>(mismatches.size(), 0));
}

}  // namespace
}  // namespace flarecast::obex
