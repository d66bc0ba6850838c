// Blocking work off the loop: its result arrives on the loop's thread, and work whose handle is
// dropped is abandoned: no completion, and what it owns is freed on the worker. Many pieces of
// work started and dropped, then the end of the process, leave nothing behind (the sanitizer
// builds check that).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "base/off_loop.h"
#include "base/poll_loop.h"

namespace station {
namespace {

using std::chrono::milliseconds;

TEST(OffLoopWork, TheResultArrivesOnTheLoopsThread) {
    PollLoop loop;
    std::thread::id worker;
    std::thread::id completion;
    int result = 0;
    const auto work = RunOffLoop<int>(
        loop,
        [&] {
            worker = std::this_thread::get_id();
            return 42;
        },
        [&](int value) {
            completion = std::this_thread::get_id();
            result = value;
        });
    ASSERT_TRUE(loop.RunUntil([&] { return result != 0; }, milliseconds(2000)));
    EXPECT_EQ(result, 42);
    EXPECT_EQ(completion, std::this_thread::get_id());
    EXPECT_NE(worker, std::this_thread::get_id());
    EXPECT_EQ(loop.ActiveWatchCount(), 0U);
}

TEST(OffLoopWork, DroppedWorkNeverCompletesAndItsResultIsFreed) {
    PollLoop loop;
    std::atomic<bool> release{false};
    std::atomic<bool> freed{false};
    bool completed = false;
    auto work = RunOffLoop<std::shared_ptr<int>>(
        loop,
        [&] {
            std::shared_ptr<int> value(new int(7), [&](const int* owned) {
                delete owned;
                freed = true;
            });
            while (!release) {
                std::this_thread::sleep_for(milliseconds(1));
            }
            return value;
        },
        [&](std::shared_ptr<int>) { completed = true; });
    work.reset();  // abandoned while it runs
    EXPECT_EQ(loop.ActiveWatchCount(), 0U);
    release = true;
    EXPECT_TRUE(loop.RunUntil([&] { return freed.load(); }, milliseconds(2000)));
    loop.RunUntil([&] { return false; }, milliseconds(50));
    EXPECT_FALSE(completed);
}

TEST(OffLoopWork, ManyStartedAndDroppedThenTheEnd) {
    PollLoop loop;
    int completed = 0;
    std::vector<std::unique_ptr<OffLoopWork>> kept;
    for (int i = 0; i < 200; ++i) {
        auto work = RunOffLoop<std::string>(
            loop, [i] { return std::string(100, static_cast<char>('a' + i % 26)); },
            [&](const std::string&) { ++completed; });
        if (i % 2 == 0) {
            kept.push_back(std::move(work));  // half of them are waited for
        }
    }
    ASSERT_TRUE(loop.RunUntil([&] { return completed == 100; }, milliseconds(5000)));
    loop.RunUntil([&] { return false; }, milliseconds(50));
    EXPECT_EQ(completed, 100);
}

}  // namespace
}  // namespace station
