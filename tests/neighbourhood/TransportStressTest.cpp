#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include "TestNeighbourhood.h"
#include "bluetooth/connections/Connector.h"
#include "obex/session/OBEXConnection.h"
#include "tests/common/ProcessCounts.h"

namespace flarecast::bluetooth {
namespace {

using flarecast::testing::openHandlesOfThisProcess;
using testing::TestNeighbourhood;

// Lets two threads go on together. Not std::barrier: it waits on an atomic, and the Windows
// build of the C++ library can lose the wake-up of such a wait.
class StartTogether {
public:
    void arriveAndWait() {
        std::unique_lock guard(lock);
        if (++arrived == 2) {
            changed.notify_all();
        }
        changed.wait(guard, [this] { return arrived == 2; });
    }

private:
    std::mutex lock;
    std::condition_variable changed;
    int arrived = 0;
};

class TransportStressTest : public ::testing::Test {
protected:
    void SetUp() override { TestNeighbourhood::get(); }
};

TEST_F(TransportStressTest, APeerThatStopsReadingEndsTheSendWithinTheTimeLimit) {
    obex::OBEXConnection session(Connector::openStream("btspp://00123456789a:11"));
    session.setResponseTimeout(std::chrono::milliseconds(200));
    session.connect(nullptr);
    ASSERT_EQ(session.getMTU(), 0xFFFF);
    const auto put = session.put(nullptr);
    const auto out = put->openOutputStream();
    auto pushing = std::async(std::launch::async, [&out] {
        const Bytes chunk(1 << 20);
        // Far more than loopback's socket buffers hold.
        for (int i = 0; i < 512; ++i) {
            out->write(chunk);
        }
    });
    const bool ended = pushing.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    if (!ended) {
        session.close();
    }
    ASSERT_TRUE(ended) << "the send never ended";
    try {
        pushing.get();
        ADD_FAILURE() << "the push went through";
    } catch (const IOError& error) {
        EXPECT_EQ(error.getMessage(), "No response from the peer");
    }
}

// Each round uses a connection's streams on one thread while another closes and destroys it;
// the sanitizer builds catch a stream that reaches into the destroyed connection.
TEST_F(TransportStressTest, StreamsMayBeUsedWhileTheirConnectionIsDestroyed) {
    const std::size_t descriptorsBefore = openHandlesOfThisProcess();
    for (int round = 0; round < 300; ++round) {
        auto connection = Connector::openStream("btspp://00123456789a:9");
        const auto in = connection->openInputStream();
        const auto out = connection->openOutputStream();
        StartTogether start;
        std::thread user([&] {
            const Bytes byte = {static_cast<std::uint8_t>(round)};
            start.arriveAndWait();
            try {
                for (int i = 0; i < round % 4; ++i) {
                    out->write(byte);
                    in->read();
                }
            } catch (const IOError&) {
            }
            out->close();
            in->close();
        });
        start.arriveAndWait();
        connection->close();
        connection.reset();
        user.join();
        EXPECT_THROW(in->read(), IOError);
    }
    // The echo server in this process closes its ends of the connections on its own threads.
    EXPECT_TRUE(testing::eventually([&] {
        return openHandlesOfThisProcess() <= descriptorsBefore;
    })) << openHandlesOfThisProcess()
        << " descriptors open, " << descriptorsBefore << " before";
}

}  // namespace
}  // namespace flarecast::bluetooth
