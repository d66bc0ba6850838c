// The line watch on the poll loop, its time advanced rather than waited for: silence reported
// once and only when the line is quiet, reading costing no timer work, and new attempts until
// one is under way, said once an outage.
#include <gtest/gtest.h>

#include "net/line_watch.h"
#include "base/poll_loop.h"

namespace station::net {
namespace {

using std::chrono::milliseconds;

// The poll loop, counting the timers started and those that expired.
class CountingLoop final : public EventLoop {
public:
    TimePoint Now() const override { return loop.Now(); }
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
    // Advances the loop's time by `time`, feeding the watch every `every` when it is set.
    void Run(milliseconds time, milliseconds every = milliseconds(0)) {
        if (every.count() == 0) {
            loop_.loop.Advance(time);
            return;
        }
        for (milliseconds run{0}; run < time; run += every) {
            loop_.loop.Advance(every);
            watch_.DataArrived();
        }
    }

    CountingLoop loop_;
    std::vector<milliseconds> silences_;
    std::vector<bool> retries_;  // `first` of each
    LineWatch watch_{loop_,
                     {[this](milliseconds silent) { silences_.push_back(silent); },
                      [this](bool first) { retries_.push_back(first); }}};
};

TEST_F(LineWatchTest, AQuietLineIsReportedOnceAfterItsSilence) {
    Configure(milliseconds(3000), milliseconds(0));
    watch_.Connected();
    Run(milliseconds(2990));
    EXPECT_TRUE(silences_.empty());
    Run(milliseconds(20));
    ASSERT_EQ(silences_.size(), 1U);
    EXPECT_GE(silences_[0], milliseconds(3000));
    EXPECT_LT(silences_[0], milliseconds(3020));
    Run(milliseconds(10000));
    EXPECT_EQ(silences_.size(), 1U);
    EXPECT_TRUE(retries_.empty());  // no reconnect without its setting
}

TEST_F(LineWatchTest, ATalkingLineCostsNoWakeUpAndFewTimers) {
    Configure(milliseconds(4000), milliseconds(0));
    watch_.Connected();
    Run(milliseconds(12000), milliseconds(100));  // 120 reads
    EXPECT_TRUE(silences_.empty());
    EXPECT_EQ(loop_.expired, 0);
    EXPECT_LE(loop_.started, 1 + 12000 / 2000 + 1);  // re-armed once per half silence at most
    Run(milliseconds(4100));                         // then it falls silent
    ASSERT_EQ(silences_.size(), 1U);
    EXPECT_LT(silences_[0], milliseconds(4100));
}

TEST_F(LineWatchTest, AnEndedLineIsRetriedUntilAnAttemptAndSaidOncePerOutage) {
    Configure(milliseconds(0), milliseconds(5000));
    watch_.Ended();
    Run(milliseconds(5000));
    ASSERT_EQ(retries_.size(), 1U);
    watch_.Attempting();  // the attempt fails
    watch_.Ended();
    Run(milliseconds(5000));
    ASSERT_EQ(retries_.size(), 2U);
    watch_.Attempting();  // this one is under way: nothing more is due
    Run(milliseconds(30000));
    EXPECT_EQ(retries_.size(), 2U);
    watch_.Connected();
    watch_.Ended();  // a new outage
    Run(milliseconds(5000));
    EXPECT_EQ(retries_, (std::vector<bool>{true, false, true}));
    EXPECT_TRUE(silences_.empty());  // the silence watch is off
}

TEST_F(LineWatchTest, ZeroSettingsStartNoTimer) {
    Configure(milliseconds(0), milliseconds(0));
    watch_.Connected();
    Run(milliseconds(100), milliseconds(20));
    watch_.Ended();
    Run(milliseconds(100000));
    EXPECT_EQ(loop_.started, 0);
    EXPECT_TRUE(silences_.empty());
    EXPECT_TRUE(retries_.empty());
}

}  // namespace
}  // namespace station::net
