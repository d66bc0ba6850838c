// The loop's worker: work runs off the loop's thread one piece at a time, its end is heard once on
// the loop's thread, whether the loop hears it or waits for it; the worker's end waits for the
// work in hand.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "base/poll_loop.h"
#include "base/worker_thread.h"

namespace station {
namespace {

using std::chrono::milliseconds;

TEST(WorkerThread, WorkEndsOnceOnTheLoopWhetherHeardOrWaitedFor) {
    PollLoop loop;
    WorkerThread worker(loop);
    std::thread::id ran_on;
    int done = 0;
    worker.Run([&] { ran_on = std::this_thread::get_id(); }, [&] { ++done; });
    EXPECT_TRUE(worker.Busy());
    ASSERT_TRUE(loop.RunUntil([&] { return done == 1; }, milliseconds(2000)));
    EXPECT_NE(ran_on, std::this_thread::get_id());
    EXPECT_FALSE(worker.Busy());

    // Waited for: its result is there at once, and the signal the loop hears later ends nothing.
    int result = 0;
    worker.Run(
        [&] {
            std::this_thread::sleep_for(milliseconds(20));
            result = 7;
        },
        [&] { ++done; });
    worker.Finish();
    EXPECT_EQ(result, 7);
    EXPECT_EQ(done, 2);
    loop.RunUntil([] { return false; }, milliseconds(50));
    EXPECT_EQ(done, 2);
}

TEST(WorkerThread, ItsEndWaitsForTheWorkInHandWithoutEndingIt) {
    PollLoop loop;
    std::atomic<bool> returned{false};
    bool done = false;
    {
        WorkerThread worker(loop);
        worker.Run(
            [&] {
                std::this_thread::sleep_for(milliseconds(20));
                returned = true;
            },
            [&] { done = true; });
    }
    EXPECT_TRUE(returned);
    EXPECT_FALSE(done);
    EXPECT_EQ(loop.ActiveWatchCount(), 0U);
}

}  // namespace
}  // namespace station
