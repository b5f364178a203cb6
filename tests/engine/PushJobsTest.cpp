// The program's push jobs among phones whose owners answer when the test says so.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "EngineTesting.h"
#include "GatedPhones.h"
#include "Phones.h"
#include "app/engine/PushJobs.h"

namespace flarecast::engine {
namespace {

namespace fs = std::filesystem;

class PushJobsTest : public ::testing::Test {
protected:
    void SetUp() override { Phones::get(); }

    testing::TempFolder files;
    const fs::path file = fileWith(files.path, "offer.txt", "An offer");
    GatedNeighbourhood neighbourhood{5};
    Owners& owners = neighbourhood.owners;
    Rows rows;
};

// Five pushes of a first worker wait for their owners after its pass has ended and it is gone;
// the second worker's first push must wait for one of them to end.
TEST_F(PushJobsTest, AJobOfAnEarlierWorkerHoldsItsSlotUntilItEnds) {
    PushJobs jobs(5);
    {
        Bluetoothfunctions first(file, rows, jobs, kQuick);
        first.running = true;
        first.start();
        ASSERT_TRUE(owners.waitForArrivals(5));
        ASSERT_TRUE(testing::eventually([&] { return first.stopped.load(); }));
    }
    EXPECT_EQ(jobs.taken(), 5U);

    Bluetoothfunctions second(file, rows, jobs, kQuick);
    second.running = true;
    second.start();
    ASSERT_TRUE(testing::eventually([&] { return jobs.waiting() == 1; }))
        << "the second pass did not wait for a slot";
    owners.open(1);
    ASSERT_TRUE(owners.waitForArrivals(6));
    EXPECT_EQ(owners.peakHeld(), 5);

    owners.openAll();
    ASSERT_TRUE(testing::eventually([&] { return second.stopped.load(); }));
    jobs.waitUntilAllEnded();
    EXPECT_EQ(owners.peakHeld(), 5);
    const auto all = rows.all();
    ASSERT_EQ(all.size(), 10U);
    EXPECT_EQ(all[0].bluetoothaddress, GatedNeighbourhood::address(1));
    for (const auto& row : all) {
        EXPECT_TRUE(row.sent) << row.bluetoothaddress;
    }
}

// The owner of push jobs goes while five pushes wait for owners who never answer: each job ends
// at once with a row that says not sent, long before the two-minute OBEX limit.
TEST_F(PushJobsTest, JobsEndWithTheirRowsWhenTheirOwnerGoes) {
    const auto began = std::chrono::steady_clock::now();
    {
        PushJobs jobs(5);
        Bluetoothfunctions worker(file, rows, jobs, kQuick);
        worker.running = true;
        worker.start();
        ASSERT_TRUE(owners.waitForArrivals(5));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(60));
    const auto all = rows.all();
    ASSERT_EQ(all.size(), 5U);
    for (const auto& row : all) {
        EXPECT_FALSE(row.sent) << row.bluetoothaddress;
    }
}

}  // namespace
}  // namespace flarecast::engine
