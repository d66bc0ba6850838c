// The line watch on the poll loop: silence reported once and only when the line is quiet,
// reading costing no timer work, and new attempts until one is under way, said once an outage.
#include <gtest/gtest.h>

#include "net/line_watch.h"
#include "tests/support/poll_loop.h"

namespace station::net {
namespace {

using std::chrono::milliseconds;

// The poll loop, counting the timers started and those that expired.
class CountingLoop final : public EventLoop {
public:
    std::unique_ptr<FdWatch> Watch(int fd, ReadyCallback on_ready) override {
        return loop.Watch(fd, std::move(on_ready));
    }
    void Post(std::function<void()> call) override { loop.Post(std::move(call)); }
    std::unique_ptr<Timer> StartTimer(milliseconds delay, std::function<void()> call) override {
        ++started;
        return loop.StartTimer(delay, [this, call = std::move(call)] {
            ++expired;
            call();
        });
    }

    PollLoop loop;
    int started = 0;
    int expired = 0;
};

class LineWatchTest : public ::testing::Test {
protected:
    void Configure(milliseconds silence, milliseconds reconnect) {
        watch_.Configure({silence, reconnect});
    }
    // Runs the loop for `time`, feeding the watch every `every` when it is set.
    void Run(milliseconds time, milliseconds every = milliseconds(0)) {
        const auto end = std::chrono::steady_clock::now() + time;
        while (std::chrono::steady_clock::now() < end) {
            loop_.loop.RunOnce(every.count() > 0 ? every : milliseconds(10));
            if (every.count() > 0) {
                watch_.DataArrived();
            }
        }
    }
    bool RunUntil(const std::function<bool()>& done) {
        return loop_.loop.RunUntil(done, milliseconds(3000));
    }

    CountingLoop loop_;
    std::vector<milliseconds> silences_;
    std::vector<bool> retries_;  // `first` of each
    LineWatch watch_{loop_,
                     {[this](milliseconds silent) { silences_.push_back(silent); },
                      [this](bool first) { retries_.push_back(first); }}};
};

TEST_F(LineWatchTest, AQuietLineIsReportedOnceAfterItsSilence) {
    Configure(milliseconds(300), milliseconds(0));
    const auto start = std::chrono::steady_clock::now();
    watch_.Connected();
    ASSERT_TRUE(RunUntil([&] { return !silences_.empty(); }));
    EXPECT_GE(silences_[0], milliseconds(300));
    EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(1300));
    Run(milliseconds(400));
    EXPECT_EQ(silences_.size(), 1U);
    EXPECT_TRUE(retries_.empty());  // no reconnect without its setting
}

TEST_F(LineWatchTest, ATalkingLineCostsNoWakeUpAndFewTimers) {
    Configure(milliseconds(400), milliseconds(0));
    watch_.Connected();
    Run(milliseconds(1200), milliseconds(50));  // about 24 reads
    EXPECT_TRUE(silences_.empty());
    EXPECT_EQ(loop_.expired, 0);
    EXPECT_LE(loop_.started, 1 + 1200 / 200 + 1);  // re-armed once per half silence at most
    ASSERT_TRUE(RunUntil([&] { return !silences_.empty(); }));  // then it falls silent
    EXPECT_LT(silences_[0], milliseconds(1400));
}

TEST_F(LineWatchTest, AnEndedLineIsRetriedUntilAnAttemptAndSaidOncePerOutage) {
    Configure(milliseconds(0), milliseconds(100));
    watch_.Ended();
    ASSERT_TRUE(RunUntil([&] { return retries_.size() == 1; }));
    watch_.Attempting();  // the attempt fails
    watch_.Ended();
    ASSERT_TRUE(RunUntil([&] { return retries_.size() == 2; }));
    watch_.Attempting();  // this one is under way: nothing more is due
    Run(milliseconds(300));
    EXPECT_EQ(retries_.size(), 2U);
    watch_.Connected();
    watch_.Ended();  // a new outage
    ASSERT_TRUE(RunUntil([&] { return retries_.size() == 3; }));
    EXPECT_EQ(retries_, (std::vector<bool>{true, false, true}));
    EXPECT_TRUE(silences_.empty());  // the silence watch is off
}

TEST_F(LineWatchTest, ZeroSettingsStartNoTimer) {
    Configure(milliseconds(0), milliseconds(0));
    watch_.Connected();
    Run(milliseconds(100), milliseconds(20));
    watch_.Ended();
    Run(milliseconds(100));
    EXPECT_EQ(loop_.started, 0);
    EXPECT_TRUE(silences_.empty());
    EXPECT_TRUE(retries_.empty());
}

}  // namespace
}  // namespace station::net
